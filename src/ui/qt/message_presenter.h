#pragma once

#include <QString>

class QWidget;

namespace korvane::ui {

// Shows the download's messages. Tests replace it so that no message box blocks them.
class MessagePresenter {
  public:
    virtual ~MessagePresenter() = default;
    // Modal: returns when the user has closed the message.
    virtual void show(QWidget* parent, const QString& text) = 0;
};

// A message box titled "Korvane" with the text, an OK button and no icon.
class QtMessagePresenter final : public MessagePresenter {
  public:
    void show(QWidget* parent, const QString& text) override;
};

}  // namespace korvane::ui
