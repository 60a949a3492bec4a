// GoogleTest main for tests that need a QApplication (offscreen by default).

#include <gtest/gtest.h>

#include <QApplication>
#include <QNetworkProxy>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    // Everything the tests talk to is on loopback. Looking up the system proxy
    // would also start a helper thread that ends only while the process exits,
    // racing the leak checker's last look at the threads.
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
