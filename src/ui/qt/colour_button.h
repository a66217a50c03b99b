#pragma once

#include <QColor>
#include <QPushButton>

namespace korvane::ui {

// A push button whose face shows its colour exactly, and whose caption wraps onto a second
// line when it does not fit. The default style washes a plain background colour out, so the
// face and its border are painted from a style sheet.
class ColourButton final : public QPushButton {
  public:
    ColourButton(const QString& text, QWidget* parent);

    void setFaceColour(const QColor& colour);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor faceColour_;
};

}  // namespace korvane::ui
