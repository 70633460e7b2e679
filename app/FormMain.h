// The main window of the application.
#pragma once

#include <QMainWindow>

namespace hv {

class TFormMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TFormMain(QWidget* parent = nullptr);
};

}  // namespace hv
