#pragma once
// The modal "Device Selection/Search" dialog: devices by type and manufacturer, a search box,
// the favourites, and the facts of the highlighted device. A highlight by the user makes that
// device current at once; Cancel (or Esc, or the close box) puts the current and the previous
// device back as they were when the dialog opened.
//
// Callers run DoModal() and then read m_bCancelled and m_nSelectedClass.

#include "catalogue/DeviceLists.h"
#include "catalogue/DeviceSelectModel.h"
#include "catalogue/DeviceSelection.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class CXColorStatic;
class QAbstractButton;
class QButtonGroup;
class QLineEdit;
class QListView;
class QModelIndex;
class QPushButton;
class QStringListModel;
class DeviceLineListModel;

class CDeviceSelectDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 145;
    enum ControlId : int {
        IDC_OK = 1,
        IDC_CANCEL = 2,
        IDC_ADD_FAVORITE = 1102,
        IDC_SEARCH = 1107,
        IDC_MANUFACTURERS = 1119,
        IDC_DEVICES = 1120,
        IDC_TYPE_EPROM = 1121,
        IDC_TYPE_FLASH = 1122,
        IDC_TYPE_MCU = 1123,
        IDC_TYPE_SERIAL = 1124,
        IDC_TYPE_SRAM = 1125,
        IDC_TYPE_GAL = 1126,
        IDC_TYPE_CMOS = 1127,
        IDC_TYPE_ALL = 1158,
        IDC_FAVORITES = 1199,
        IDC_REMOVE_FAVORITE = 1200,
        IDC_TIPS = 1245,
        IDC_TITLE = 1259,
        IDC_SEARCH_LABEL = 1260,
        IDC_TYPE_LABEL = 1261,
        IDC_MANUFACTURER_LABEL = 1262,
        IDC_DEVICE_LABEL = 1263,
        IDC_FAVORITE_LABEL = 1264,
        IDC_VALUE_DEVICE = 1315,
        IDC_VALUE_PACKAGE = 1316,
        IDC_VALUE_ADAPTER = 1317,
        IDC_VALUE_PROGRAMMER = 1318,
        IDC_INFO_MANUFACTURER = 1319,
        IDC_VALUE_MANUFACTURER = 1320,
        IDC_INFO_PROGRAMMER = 1321,
        IDC_INFO_PACKAGE = 1322,
        IDC_INFO_DEVICE = 1323,
        IDC_INFO_ADAPTER = 1324,
        IDC_INFO_GROUP = 1325,
        IDC_REQUEST = 1433,
        IDC_NOT_FOUND = 1434,
    };
    static constexpr unsigned kPackageColour = 0x9600C8;
    static constexpr unsigned kValueColour = 0x960064;

    explicit CDeviceSelectDlg(QWidget* parent = nullptr);
    ~CDeviceSelectDlg() override;

    // Opens the dialog over the loaded device records and runs it; QDialog::Accepted or
    // QDialog::Rejected.
    int DoModal();
    // Fills the dialog as opening does, without running it (DoModal calls it).
    void OnInitDialog();

    // Lays a record over g_CurrentDevice (the script command DEVICE uses it without a dialog).
    static void ApplyDeviceRecord(const CDeviceRecord& record);

    // The control of a numeric id, or null.
    QWidget* GetDlgItem(int id) const;
    const CDeviceSelectModel* Model() const { return m_model.get(); }

    // The new-chip request: a hook the request dialog installs. Without one the button is
    // disabled.
    using RequestNewChipHook = std::function<void(CDeviceSelectDlg& dialog)>;
    static void SetRequestNewChipHook(RequestNewChipHook hook);
    void OnRequestNewChip();

    void accept() override; // Select, Enter: the highlighted line; nothing while a search has no hit
    void reject() override; // Cancel, Esc, the close box
    void done(int result) override;

    int m_nSelectedClass;
    // 1 unless the run ended with Select or a double-click.
    int m_bCancelled = 1;

private:
    void BuildControls();
    void ApplyTexts();
    void ShowModel(); // the model's lists and highlights, selecting nothing
    void OnTypeButton(int id);
    void OnManufacturerChanged(int line);
    void OnSearchChanged(const QString& text);
    void OnDeviceHighlighted(int line);
    void OnFavoriteHighlighted(int line);
    void OnDoubleClick();
    void OnAddFavorite();
    void OnRemoveFavorite();
    void ShowSelection();
    bool SelectHighlighted();

    std::unique_ptr<CDeviceSelectModel> m_model;
    // The lines the user highlighted last, -1 after the lists changed under them.
    int m_nUserDeviceLine = -1;
    int m_nUserFavoriteLine = -1;
    std::unique_ptr<CurrentDeviceSnapshot> m_opening;
    std::optional<DeferDeviceListReloads> m_deferReloads;

    QLineEdit* m_editSearch = nullptr;
    QListView* m_listManufacturers = nullptr;
    QListView* m_listDevices = nullptr;
    QListView* m_listFavorites = nullptr;
    QStringListModel* m_manufacturerLines = nullptr;
    DeviceLineListModel* m_deviceLines = nullptr;
    DeviceLineListModel* m_favoriteLines = nullptr;
    QButtonGroup* m_typeButtons = nullptr;
    QPushButton* m_btnRequest = nullptr;
    CXColorStatic* m_valueDevice = nullptr;
    CXColorStatic* m_valueManufacturer = nullptr;
    CXColorStatic* m_valuePackage = nullptr;
    CXColorStatic* m_valueAdapter = nullptr;
    CXColorStatic* m_valueProgrammer = nullptr;
    CXColorStatic* m_tips = nullptr;
};

// The category of a type button, or -1 for another id.
int DeviceSelectCategoryOfButton(int id);
