#pragma once

#include <QString>

class QWidget;

namespace korvane::ui {

// The file-open dialog as the window uses it: one title, one filter, a starting file. Tests
// replace it so that no dialog ever blocks them.
class FileChooser {
  public:
    virtual ~FileChooser() = default;
    // The chosen file's full path, or an empty string when the user cancelled.
    virtual QString chooseFile(QWidget* parent, const QString& title, const QString& filter,
                               const QString& startFile) = 0;
};

class QtFileChooser final : public FileChooser {
  public:
    QString chooseFile(QWidget* parent, const QString& title, const QString& filter,
                       const QString& startFile) override;
};

}  // namespace korvane::ui
