#pragma once

// main() for a test whose windows hold a web engine view, in place of QTEST_MAIN.

#include <QApplication>
#include <QTest>

// The engine's sandbox cannot run as root, which is how the test machines run.
#define VANTOR_WEB_ENGINE_TEST_MAIN(TestObject)                                                              \
    int main(int argc, char** argv)                                                                          \
    {                                                                                                        \
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");                                 \
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);                                          \
        QApplication app(argc, argv);                                                                        \
        TestObject test;                                                                                     \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
