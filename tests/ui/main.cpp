// GoogleTest with one QApplication for every widget test, on the offscreen platform
// unless another is asked for.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("enviozvr"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
