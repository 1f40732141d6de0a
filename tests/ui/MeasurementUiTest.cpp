// The measurement settings dialogs as a user fills them, and the last measurements across a restart of
// the viewer.
#include "AppTestSupport.h"
#include "base/StringTable.h"
#include "measurement/DocMeasurementContinuous.h"
#include "measurement/DocMeasurementSingle.h"
#include "parameters/ParameterManager.h"
#include "ui/app/KestrelApp.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/SettingsStore.h"
#include "ui/measurement/DlgContMeas.h"
#include "ui/measurement/DlgSingleMeas.h"

using namespace MeasurementSetup;
using quirel::test::Child;

class MeasurementUiTest : public QObject {
    Q_OBJECT

private:
    CParameterManager m_catalogue;
    std::vector<std::string> m_choices;
    std::vector<std::string> m_boxes;

private slots:
    void initTestCase() {
        m_catalogue.Load(QUIREL_RESOURCES_DIR "/Parameters.ini");
        m_choices = ChannelChoices(m_catalogue);
        quirel::test::RecordMessageBoxTexts(m_boxes);
    }

    void singleDialogShowsTheStoredSettingsAndTheirTimes() {
        SingleSettings s;
        s.triggerText = "180 Instantaneous mains current L1";
        s.level = -3.7;
        s.mode = 1;
        s.divider = 32;
        s.delay = 512;
        s.channelText.fill("--");
        s.channelText[0] = "20 Device state"; // as a view writes it: the list says " 20 Device state"
        s.channelText[1] = "4711 No longer offered";
        CDlgSingleMeas dialog(m_choices, s);
        QCOMPARE(dialog.windowTitle(), QString("Settings"));
        QCOMPARE(Child<QComboBox>(&dialog, "triggerChannel")->currentText(),
                 QString("180 Instantaneous mains current L1"));
        QCOMPARE(Child<QComboBox>(&dialog, "trace0")->currentText(), QString(" 20 Device state"));
        QCOMPARE(Child<QComboBox>(&dialog, "trace1")->currentIndex(), -1);
        QCOMPARE(Child<QComboBox>(&dialog, "trace2")->currentText(), QString("--"));
        QCOMPARE(Child<QLineEdit>(&dialog, "triggerLevel")->text(), QString("-3,7000"));
        QCOMPARE(Child<QComboBox>(&dialog, "mode")->currentText(), QString("less than"));
        auto* period = Child<QLineEdit>(&dialog, "samplePeriod");
        auto* delayTime = Child<QLineEdit>(&dialog, "delayTime");
        QVERIFY(period->isReadOnly() && delayTime->isReadOnly());
        QCOMPARE(period->text(), QString("1,00000 ms"));
        QCOMPARE(delayTime->text(), QString("512,00000 ms"));

        auto* rate = Child<QLineEdit>(&dialog, "sampleRate");
        rate->setText("1");
        QCOMPARE(period->text(), QString("0,03125 ms"));
        QCOMPARE(delayTime->text(), QString("16,00000 ms"));
        rate->clear(); // an empty edit leaves the fields as they were
        QCOMPARE(period->text(), QString("0,03125 ms"));
    }

    void singleDialogStaysOpenUntilItsSettingsHold() {
        SingleSettings s;
        s.channelText.fill("--");
        CDlgSingleMeas dialog(m_choices, s);
        dialog.show();
        m_boxes.clear();
        // "--" as trigger channel keeps the dialog open, without a message.
        dialog.accept();
        QVERIFY(dialog.isVisible());
        QVERIFY(m_boxes.empty());

        Child<QComboBox>(&dialog, "triggerChannel")->setCurrentIndex(1);
        struct Case {
            const char* edit;
            const char* text;
            const char* message;
        };
        for (const Case& c : {Case{"sampleRate", "0", "Please enter an integer between 1 and 32000."},
                              Case{"sampleRate", "12x", "Please enter an integer."},
                              Case{"delay", "513", "Please enter an integer between 0 and 512."},
                              Case{"triggerLevel", "1.5", "Please enter a number."}}) {
            auto* edit = Child<QLineEdit>(&dialog, c.edit);
            const QString before = edit->text();
            edit->setText(c.text);
            m_boxes.clear();
            dialog.accept();
            QVERIFY(dialog.isVisible());
            QCOMPARE(m_boxes, std::vector<std::string>{c.message});
            edit->setText(before);
        }
        Child<QLineEdit>(&dialog, "triggerLevel")->setText("-3,7");
        Child<QLineEdit>(&dialog, "sampleRate")->setText("8");
        Child<QLineEdit>(&dialog, "delay")->setText("100");
        Child<QComboBox>(&dialog, "mode")->setCurrentIndex(1);
        Child<QComboBox>(&dialog, "trace1")->setCurrentIndex(2);
        Child<QComboBox>(&dialog, "trace3")->setCurrentIndex(3);
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        const SingleSettings& got = dialog.Settings();
        QCOMPARE(got.triggerIndex, 1);
        QCOMPARE(got.triggerText, m_choices[1]);
        QCOMPARE(got.level, -3.7);
        QCOMPARE(got.divider, 8);
        QCOMPARE(got.delay, 100);
        QCOMPARE(got.mode, 1);
        QCOMPARE(ChannelIds(got.channelText),
                 (std::vector<uint32_t>{static_cast<uint32_t>(ChannelId(m_choices[2])),
                                        static_cast<uint32_t>(ChannelId(m_choices[3]))}));
    }

    void continuousDialogTakesIntervalAndChannels() {
        ContinuousSettings s;
        s.interval = 5;
        s.channelText.fill("--");
        s.channelText[4] = m_choices[1];
        CDlgContMeas dialog(m_choices, s);
        dialog.show();
        auto* interval = Child<QLineEdit>(&dialog, "interval");
        QCOMPARE(interval->text(), QString("5"));
        QCOMPARE(Child<QComboBox>(&dialog, "trace4")->currentIndex(), 1);
        interval->setText("1,5");
        m_boxes.clear();
        dialog.accept();
        QVERIFY(dialog.isVisible());
        QCOMPARE(m_boxes, std::vector<std::string>{"Please enter an integer."});
        interval->setText("0"); // refused by the start check, not by the dialog
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.Settings().interval, 0);
        QCOMPARE(dialog.Settings().channelText[4], m_choices[1]);
        QCOMPARE(dialog.Settings().channelText[0], std::string("--"));
    }

    void germanDialogs() {
        quirel::setUiLanguage(quirel::kLanguageGerman);
        CDlgSingleMeas dialog(m_choices, SingleSettings());
        quirel::setUiLanguage(quirel::kLanguageEnglish);
        QCOMPARE(dialog.windowTitle(), QString("Einstellungen"));
        auto* mode = Child<QComboBox>(&dialog, "mode");
        QCOMPARE(mode->itemText(0), QString::fromUtf8("größer"));
        QCOMPARE(mode->itemText(1), QString("kleiner"));
    }

    void lastMeasurementsSurviveARestartAndADamagedFileDoesNotStopIt() {
        QTemporaryDir dir;
        const std::string folder = dir.path().toStdString();
        {
            // A continuous measurement stored while running; a single one cut short.
            CDocMeasurementContinuous stored(&m_catalogue, nullptr);
            stored.InitMeasurement(2, {100, 150}, CMeasStart(2024, 3, 1, 8, 0, 0));
            stored.AddValue(0, PARAMVALUE(8, 0x42480000));
            stored.SetRunning(true);
            QCOMPARE(stored.WriteFile(folder + "/last.nbtc", true), MeasurementFileResult::kOk);
            QVERIFY(quirel::test::WriteFileBytes(dir.filePath("last.nbts"), QByteArray("\x01\x00\x05", 3)));
        }
        AppOptions options = quirel::test::TestAppOptions();
        options.fileFolder = folder;
        auto app =
            std::make_unique<CKestrelApp>(std::make_unique<quirel::ui::CMemorySettingsStore>(), options);
        QVERIFY(app->InitInstance());
        QCoreApplication::processEvents();
        CDocMeasurementContinuous& continuous = app->DocMeasurementContinuous();
        QVERIFY(!continuous.IsRunning());
        QCOMPARE(continuous.GetChannelCount(), 2);
        QCOMPARE(continuous.GetValue(0, 0), 50.0);
        CDocMeasurementSingle& single = app->DocMeasurementSingle();
        QCOMPARE(single.GetChannelCount(), 0);

        single.InitMeasurement(CTrigger(), {180}, CMeasStart(2024, 3, 2, 9, 0, 0));
        single.AddValue(0, PARAMVALUE(8, 0x3F800000));
        app->ExitInstance();
        app.reset();

        CDocMeasurementSingle reloaded(&m_catalogue, nullptr);
        QCOMPARE(reloaded.ReadFile(folder + "/last.nbts", true), MeasurementFileResult::kOk);
        QCOMPARE(reloaded.GetValue(0, 0), 1.0);
        QVERIFY(QFile::exists(dir.filePath("last-damaged.nbts"))); // kept aside for the user
    }
};

QUIREL_UI_TEST(MeasurementUiTest)
#include "MeasurementUiTest.moc"
