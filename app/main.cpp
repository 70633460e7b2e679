#include <QApplication>

#include "app/FormMain.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    hv::TFormMain window;
    window.show();
    return app.exec();
}
