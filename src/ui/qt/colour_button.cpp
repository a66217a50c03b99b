#include "ui/qt/colour_button.h"

#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace korvane::ui {

ColourButton::ColourButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}

void ColourButton::setFaceColour(const QColor& colour) {
    faceColour_ = colour;
    // The border is shaded from a darker tone, so the raised edge shows against the face.
    setStyleSheet(QStringLiteral("QPushButton { background-color: %1; border: 2px outset %2; }"
                                 "QPushButton:pressed { border-style: inset; }")
                      .arg(colour.name(QColor::HexRgb), colour.darker(125).name(QColor::HexRgb)));
}

void ColourButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);

    const QRect textRect = rect().adjusted(4, 4, -4, -4);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(textRect, Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic, caption);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = textRect;
        focus.backgroundColor = faceColour_;
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

}  // namespace korvane::ui
