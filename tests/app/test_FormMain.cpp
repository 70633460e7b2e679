#include <gtest/gtest.h>

#include <QApplication>

#include "app/FormMain.h"

namespace hv {
namespace {

TEST(FormMain, OpensTitledHalvora) {
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    TFormMain w;
    w.show();
    QApplication::processEvents();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.windowTitle(), QString("Halvora"));
}

}  // namespace
}  // namespace hv
