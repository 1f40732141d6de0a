#pragma once

// The widget tests share one program: each Qt Test class registers itself under its name, and the
// program runs the class its first argument names, so that every class is still its own test run.
// Every test file includes this header, and with it the widgets and Qt Test.
#include <QtTest>
#include <QtWidgets>

#include <memory>

namespace quirel::test {

using UiTestFactory = std::unique_ptr<QObject> (*)();
bool RegisterUiTest(const char* name, UiTestFactory factory);

} // namespace quirel::test

#define QUIREL_UI_TEST(Class)                                                                                \
    static const bool Class##Registered =                                                                    \
        quirel::test::RegisterUiTest(#Class, [] { return std::unique_ptr<QObject>(new Class); });
