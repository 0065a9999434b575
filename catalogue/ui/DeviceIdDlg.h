#pragma once
// The modal "Device ID" dialog: the chip ID the device operations read, its manufacturer, its
// type and its revision. The view keeps one, decodes each ID into it (DecodeDeviceId) and then
// runs it; OnInitDialog shows the language's labels and the four texts.

#include "catalogue/DeviceIdDecoder.h"

#include <QDialog>

class CXColorStatic;

class CDeviceIdDlg : public QDialog, public CDeviceIdDecoder {
    Q_OBJECT
public:
    static constexpr int IDD = 163;
    enum ControlId : int {
        IDC_OK = 1,
        IDC_VALUE_ID = 1147,
        IDC_VALUE_MANUFACTURER = 1148,
        IDC_VALUE_TYPE = 1149,
        IDC_VALUE_REVISION = 1246,
        IDC_GROUP = 1265,
        IDC_LABEL_ID = 1266,
        IDC_LABEL_MANUFACTURER = 1267,
        IDC_LABEL_TYPE = 1268,
        IDC_LABEL_REVISION = 1269,
    };

    explicit CDeviceIdDlg(QWidget* parent = nullptr);

    // The labels from the language table and the four texts into their statics.
    void OnInitDialog();
    int DoModal();

    QWidget* GetDlgItem(int id) const;

private:
    CXColorStatic* m_valueId = nullptr;
    CXColorStatic* m_valueManufacturer = nullptr;
    CXColorStatic* m_valueType = nullptr;
    CXColorStatic* m_valueRevision = nullptr;
};
