// clsProd: the shared routine library of the business application.
//
// One object carries the database connection and four shared recordsets; its
// public methods are the entry points for the application's screens, grouped by
// subsystem (bodies in lib/db, lib/screens, lib/trade, lib/attendance, lib/text).
//
// Everything the object shows or touches on screen, the clock, the program end,
// the application folder and title, the host's context and the regional
// settings reach it through the Environment it is given. The defaults work for
// a Qt host as they are.
//
// Failures follow three conventions (each routine says which it uses):
//  - the standard error handler: a message box with the description titled
//    "NARVO", a row in errlog, a normal return with the result as it stood;
//  - a routine's own path (message or program end), as its comment says;
//  - none: the failure passes to the caller as rt::Error.
#pragma once

#include "platform/context/AppContext.h"
#include "platform/db/Connection.h"
#include "platform/runtime/Environment.h"
#include "platform/runtime/Error.h"
#include "platform/runtime/Numbers.h"
#include "platform/runtime/RegionalSettings.h"
#include "platform/runtime/Variant.h"
#include "platform/ui/Grid.h"
#include "platform/ui/ListControl.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Printing.h"
#include "platform/ui/ProgramLauncher.h"

#include <QDateTime>
#include <QString>

#include <concepts>
#include <cstdint>
#include <functional>
#include <memory>
#include <type_traits>

class clsProd {
public:
    // A 16-bit integer parameter (counts, widths, positions, character codes,
    // grid rows and columns). The host passes whatever number it holds; one
    // outside -32768..32767 fails with Overflow (6) at the call, before the
    // routine does anything, as the classic run time converts an argument for
    // a 16-bit parameter. A floating-point number is rounded first, halves to
    // the even neighbour. Nothing is ever wrapped. A boolean is not a count.
    class Int16 {
    public:
        template <std::integral T>
        Int16(T v) : v_(fromInteger(v)) {}  // NOLINT: converts implicitly, as the call does
        template <std::floating_point T>
        Int16(T v) : v_(rt::toInt16Checked(double(v))) {}  // NOLINT
        Int16(bool) = delete;
        operator int16_t() const { return v_; }  // NOLINT

    private:
        template <std::integral T>
        static int16_t fromInteger(T v) {
            if constexpr (std::is_signed_v<T>) {
                return rt::checkedInt16(int64_t(v));
            } else {
                if (v > T(INT16_MAX)) rt::raiseStandard(rt::err::Overflow);
                return int16_t(v);
            }
        }
        int16_t v_;
    };

    struct Environment {
        std::shared_ptr<ui::MessageBox> messageBox;
        std::shared_ptr<rt::Clock> clock;
        std::shared_ptr<rt::ProgramEnd> programEnd;
        QString appFolder;  // no trailing separator
        QString appTitle;
        std::shared_ptr<ctx::AppContext> context;
        std::shared_ptr<rt::RegionalSettings> settings;
        std::shared_ptr<ui::ProgramLauncher> launcher;
    };
    // Qt message boxes, the system clock, the process end, the executable's
    // folder and name, an empty context, the user's regional settings, QProcess.
    static Environment defaultEnvironment();

    clsProd();
    explicit clsProd(Environment env);
    ~clsProd();
    clsProd(const clsProd&) = delete;
    clsProd& operator=(const clsProd&) = delete;

    // ---- Public fields, in declaration order; all empty at creation ----
    std::shared_ptr<db::Connection> dbconnection;
    std::shared_ptr<db::Recordset> dbrec;
    std::shared_ptr<db::Recordset> tmp_Rec;
    std::shared_ptr<db::Recordset> tmp_Rec2;
    std::shared_ptr<db::Recordset> tmp_Rec3;
    QString strquery;
    int32_t errNo = 0;
    QString curr_DB_file;

    // ---- Connection (lib/db/Connection.cpp) ----
    // Open the bootstrap database / the year database on dbconnection. On
    // failure: a caution message under the application's title, then the
    // program ends at once.
    void Get_Start();
    void Leave_DBstart();     // no handler: failures go to the caller
    void Get_Connection();
    void Leave_Connection();  // no handler: failures go to the caller
    rt::Variant encryp_decryp(QString chk);

    // ---- Statements and error trail (lib/db/Statements.cpp) ----
    void update_rec(QString strr);                  // standard handler
    void er_hnd(QString log, QDateTime dt);         // never reports anything
    QString err_display(int32_t number);

    // ---- Shared recordsets (lib/db/SharedRecordsets.cpp); standard handler ----
    void Recordset_Creation(const QString& strquery);
    void RecordSet_Close();
    void open_temp_rec(QString querry);
    void close_temp_rec();
    void open_temp_rec2(QString querry);
    void close_temp_rec2();
    void open_temp_rec3(QString querry);
    void close_temp_rec3();

    // ---- Single-value queries (lib/db/Queries.cpp); standard handler ----
    rt::Variant Retrieve_Id(QString querry);
    QString Retrieve_Name(QString querry);
    QString Retrieve_TWO_Cols(QString querry);
    bool chk_rec_exst(QString querry);

    // ---- List and combo filling (lib/db/Lists.cpp) ----
    void load_combo(ui::ComboBox& combos, QString qryy);   // standard handler
    void load_combo1(ui::ComboBox& combos, QString qryy);  // standard handler
    void load_list(ui::ListBox& lists, QString qryy);      // standard handler
    void load_list1(ui::ListBox& lists, QString qryy);     // standard handler
    int32_t Get_ListIndex_From_ItemData(ui::ListControl& TmpLst, const int32_t& TmpItmData);
    int32_t Get_cmbRlist_ListIndex(ui::ListControl& CmbRListbox, int32_t TMPid);
    int32_t Get_ItemData_From_String(ui::ListControl& TmpLst, const QString& tmpstr);

    // ---- Screen occupancy (lib/screens/) ----
    void Register_User_Log(int32_t TmpScrId, int32_t TmpUsrVal);
    void UnRegister_User_Log(int32_t TmpScrId);
    void Clear_Scr_Log_For_SysId();
    bool Chk_More_Users_In_Screen(int32_t ScrId);
    int32_t Fix_userVal_ReadOnly_if_screen_already_exist(int32_t ScrId, int32_t tmpUserVal);

    // ---- Trade documents (lib/trade/); no handler ----
    int32_t get_new_dcno(QString currTabl);
    int32_t get_new_Invoiceno(QString currTabl);
    bool IsAvailPO(int32_t custid, QString strPO, QString tbl);
    bool IsAvailPO_subcon(int32_t suppid, QString strPO, QString tbl);
    bool IsAvailPO_Purch(int32_t vendorcode, QString strPO, QString tbl);
    bool msf_check_valid_itm(ui::Grid& msfT, Int16 co);
    bool msf_RowQty_OK_if_red(ui::Grid& msfT, Int16 Co1, Int16 co2);
    bool msf_RowQty_OK_with_StockPO(ui::Grid& msfT, Int16 Co1, Int16 co2);
    rt::Variant get_total_for_user_req(ui::Grid& msflex, Int16 r1, Int16 r2, Int16 c1, Int16 c2);

    // ---- Attendance (lib/attendance/); no handler ----
    float cal_OT_Hrs(QString OTstr);
    float cal_days_Present(QString LStr);
    float cal_Leave_days(QString LStr);
    int16_t cal_Holidays(QString HoliStr);
    int16_t cal_Actual_Holidays(QString HoliStr);

    // ---- Text, amounts and output (lib/text/); no handler ----
    QString MoneyToWords(const int32_t& cMoney);
    QString Str_Split_Using_Separator(QString Src_Str, QString sep, Int16 pos);
    QString setWidth(const QString& Expression, Int16 Width);
    QString repeat_char(Int16 ch, Int16 lengt);
    QString LPad(const rt::Variant& ValIn, Int16 nDec, Int16 WidthOut);
    QString remove_all_vbcrlf(QString strCRLF);
    QString ReplStr(QString& sSrcStr, const QString& sFind, const QString& sReplaceWith);
    void PSprinting(ui::PrintDialog& cmmDlg, ui::RichTextBox& rtbP);  // ignores failures
    void show_help(QString f_path);

    // ---- The object's environment ----
    const Environment& environment() const { return env_; }
    ui::MessageBox& messageBox() const { return *env_.messageBox; }
    const rt::Clock& clock() const { return *env_.clock; }
    const rt::RegionalSettings& settings() const { return *env_.settings; }
    ctx::AppContext& context() const { return *env_.context; }
    const QString& appFolder() const { return env_.appFolder; }
    const QString& appTitle() const { return env_.appTitle; }

private:
    friend struct clsProdAccess;  // lib-internal helpers (lib/db/Handlers.h)
    Environment env_;
};
