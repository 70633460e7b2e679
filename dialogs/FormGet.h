// TFormGet: asks for one value of a kind (text, integer, real number, date,
// password), filters the keystrokes by kind and converts the answer.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "util/Variant.h"

namespace Ui {
class FormGet;
}

namespace hv {

class TFormGet : public QDialog {
    Q_OBJECT
  public:
    explicit TFormGet(QWidget* parent = nullptr);
    ~TFormGet() override;

    void SetKind(int kind);
    int Kind() const { return kind_; }
    // A prompt that fits the banner becomes its text; a longer one goes under
    // "Введите значение".
    void SetPrompt(const std::string& prompt);
    void SetValue(const TVarValue& value);
    // Converts the text; on failure shows "Неверное значение !!!" and gives
    // the edit the focus again.
    bool Check();
    // The converted answer (after an accepted close).
    const TVarValue& Value() const { return value_; }

    void done(int result) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Edited();

    std::unique_ptr<Ui::FormGet> ui_;
    int kind_ = 1;
    bool changed_ = false;
    TVarValue value_;
};

// Asks for a value of Kind; true and Value replaced by the converted answer
// when the user confirms, false and Value unchanged otherwise.
bool InputValue(const std::string& prompt, int kind, TVarValue& value);
bool InputString(const std::string& prompt, std::string& text);

}  // namespace hv
