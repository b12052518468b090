#pragma once

#include <QDialog>

namespace Ui {
class MessageDialog;
}

// The program's message box: a title in the group box frame and a text that may span lines.
class MessageDialog : public QDialog
{
    Q_OBJECT

public:
    MessageDialog(const QString &title, const QString &text, QWidget *parent = nullptr);
    ~MessageDialog() override;

private:
    Ui::MessageDialog *ui;
};
