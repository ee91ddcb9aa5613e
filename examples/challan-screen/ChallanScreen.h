// A delivery-challan screen built on the library the way the application's
// screens use it:
//  - on opening it registers itself in the screen occupancy records
//    (Register_User_Log) and asks whether another workstation already holds
//    it (Fix_userVal_ReadOnly_if_screen_already_exist); if one does, the
//    library shows who, and the screen stays read only;
//  - it fills the customer combo with load_combo;
//  - it shows the next challan number from get_new_dcno;
//  - Save writes the challan through update_rec and takes the next number;
//  - on closing it removes its occupancy record (UnRegister_User_Log).
#pragma once

#include "lib/clsProd.h"
#include "platform/ui/qt/QtListControls.h"

#include <QWidget>

#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class ChallanScreen : public QWidget {
    Q_OBJECT

  public:
    // The screen's number in the application (its ScreenId in OnLineUsers).
    static constexpr int32_t kScreenId = 41;
    // The access value of a user who may save (1 is read only).
    static constexpr int32_t kCanSave = 2;

    explicit ChallanScreen(clsProd& prod, QWidget* parent = nullptr);

    bool readOnly() const { return userVal_ <= 1; }
    QComboBox* customers() const { return customers_; }
    QLineEdit* challanNumber() const { return number_; }
    QLineEdit* amount() const { return amount_; }
    QPushButton* saveButton() const { return save_; }

    // Saves the challan shown; false when read only or nothing is chosen.
    bool save();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void createControls();
    void showNextNumber();

    clsProd& prod_;
    int32_t userVal_ = kCanSave;
    bool registered_ = false;
    QComboBox* customers_ = nullptr;
    std::unique_ptr<ui::QtComboBox> customerList_;  // the library's view of the combo
    QLineEdit* number_ = nullptr;
    QLineEdit* amount_ = nullptr;
    QLabel* notice_ = nullptr;
    QPushButton* save_ = nullptr;
};
