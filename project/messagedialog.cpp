#include "project/messagedialog.h"

#include "ui_messagedialog.h"

MessageDialog::MessageDialog(const QString &title, const QString &text, QWidget *parent)
    : QDialog(parent), ui(new Ui::MessageDialog)
{
    ui->setupUi(this);
    ui->groupBox_message->setTitle(title);
    ui->textBrowser->setText(text);
    connect(ui->pushButton_close, &QPushButton::clicked, this, &QWidget::close);
}

MessageDialog::~MessageDialog()
{
    delete ui;
}
