#include "app/FormMain.h"

namespace hv {

TFormMain::TFormMain(QWidget* parent) : QMainWindow(parent) {
    setObjectName("FormMain");
    setWindowTitle("Halvora");
    resize(800, 500);
}

}  // namespace hv
