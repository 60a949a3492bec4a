// GoogleTest main for tests that need a QApplication (offscreen by default).

#include <gtest/gtest.h>

#include <QApplication>
#include <QNetworkProxy>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    // Everything the tests talk to is on loopback. A system proxy lookup would
    // only start a helper thread and may ask the network for a proxy setup.
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
