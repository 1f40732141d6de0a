#include "UiTestMain.h"

#include <QApplication>
#include <QtTest>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

std::map<std::string, quirel::test::UiTestFactory>& Registry() {
    static std::map<std::string, quirel::test::UiTestFactory> registry;
    return registry;
}

} // namespace

bool quirel::test::RegisterUiTest(const char* name, UiTestFactory factory) {
    return Registry().emplace(name, factory).second;
}

// Usage: test_ui CLASS [Qt Test options...]
int main(int argc, char** argv) {
    const auto found = argc > 1 ? Registry().find(argv[1]) : Registry().end();
    if (found == Registry().end()) {
        std::fprintf(stderr, "usage: %s CLASS [Qt Test options]; classes:", argv[0]);
        for (const auto& [name, factory] : Registry())
            std::fprintf(stderr, " %s", name.c_str());
        std::fprintf(stderr, "\n");
        return 2;
    }
    // Qt Test sees the program's name followed by its own options.
    std::vector<char*> args{argv[0]};
    args.insert(args.end(), argv + 2, argv + argc);
    int count = static_cast<int>(args.size());
    QApplication app(count, args.data());
    app.setAttribute(Qt::AA_Use96Dpi, true);
    const std::unique_ptr<QObject> test = found->second();
    return QTest::qExec(test.get(), count, args.data());
}
