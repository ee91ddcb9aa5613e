#include "ChallanScreen.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDoubleValidator>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

ChallanScreen::ChallanScreen(clsProd& prod, QWidget* parent) : QWidget(parent), prod_(prod) {
    setWindowTitle(QStringLiteral("Delivery Challan"));
    createControls();

    // Opening: register the screen, then ask whether somebody else holds it.
    prod_.Register_User_Log(kScreenId, kCanSave);
    registered_ = true;
    userVal_ = prod_.Fix_userVal_ReadOnly_if_screen_already_exist(kScreenId, kCanSave);

    prod_.load_combo(*customerList_,
                     QStringLiteral("select distinct custid, 'Customer ' & custid from DCINV "
                                    "order by custid"));
    showNextNumber();

    if (readOnly()) {
        notice_->setText(QStringLiteral("Read only: another workstation has this screen open."));
        notice_->show();
        save_->setEnabled(false);
        amount_->setReadOnly(true);
    }
}

void ChallanScreen::createControls() {
    customers_ = new QComboBox;
    customerList_ = std::make_unique<ui::QtComboBox>(customers_);
    number_ = new QLineEdit;
    number_->setReadOnly(true);
    amount_ = new QLineEdit(QStringLiteral("0"));
    amount_->setValidator(new QDoubleValidator(0, 1e9, 2, amount_));
    notice_ = new QLabel;
    notice_->setStyleSheet(QStringLiteral("color: #a00000; font-weight: bold"));
    notice_->hide();
    save_ = new QPushButton(QStringLiteral("&Save"));
    auto* close = new QPushButton(QStringLiteral("&Close"));
    connect(save_, &QPushButton::clicked, this, &ChallanScreen::save);
    connect(close, &QPushButton::clicked, this, &QWidget::close);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Challan No."), number_);
    form->addRow(QStringLiteral("Customer"), customers_);
    form->addRow(QStringLiteral("Amount"), amount_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(save_);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(notice_);
    layout->addLayout(form);
    layout->addLayout(buttons);
}

void ChallanScreen::showNextNumber() {
    number_->setText(QString::number(prod_.get_new_dcno(QStringLiteral("DCINV"))));
}

bool ChallanScreen::save() {
    const int index = customers_->currentIndex();
    if (readOnly() || index < 0) return false;
    const int32_t customer = customerList_->ItemData(index);
    const double amount = amount_->text().toDouble();
    // The statement is built as the application's screens build theirs; the
    // values are the screen's own numbers, so no quoting is needed.
    prod_.update_rec(QStringLiteral("insert into DCINV (dcno, dcdate, custid, amount) values "
                                    "('%1', #%2#, %3, %4)")
                         .arg(number_->text(), prod_.environment().clock->now().toString(
                                                   QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                         .arg(customer)
                         .arg(amount, 0, 'f', 2));
    showNextNumber();
    return true;
}

void ChallanScreen::closeEvent(QCloseEvent* event) {
    if (registered_) {
        prod_.UnRegister_User_Log(kScreenId);
        registered_ = false;
    }
    event->accept();
}
