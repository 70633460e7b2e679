#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle("Halvora");
    window.resize(800, 500);
    window.show();
    return app.exec();
}
