#include <QFileDialog>
#include <QMessageBox>

#include "ui/qt/file_chooser.h"
#include "ui/qt/message_presenter.h"

namespace korvane::ui {

QString QtFileChooser::chooseFile(QWidget* parent, const QString& title, const QString& filter,
                                  const QString& startFile) {
    // The filter list shows the description alone, as one entry.
    return QFileDialog::getOpenFileName(parent, title, startFile, filter, nullptr,
                                        QFileDialog::HideNameFilterDetails);
}

void QtMessagePresenter::show(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Korvane"), text, QMessageBox::Ok, parent);
    // Messages carry file and device names: never markup that could load files or images.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

}  // namespace korvane::ui
