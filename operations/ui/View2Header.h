#pragma once
// The device header pane, the right pane of the main window: the selected device with its supply
// and programming voltages, adapter, package and pin pattern; the steps of an automatic run and
// the write options; the file and device offsets; the speed level and the delay factor; and the
// chip-location button 1248. Its state lives in a HeaderModel; workers read a Snapshot taken on
// the GUI thread when their step starts.

#include "operations/HeaderModel.h"

#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <string>

class CChipLocationDlg;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

class CView2Header : public QWidget {
    Q_OBJECT
public:
    static constexpr int IDC_CHIP_LOCATION = 1248;

    explicit CView2Header(QWidget* parent = nullptr);
    ~CView2Header() override;

    // Sets the pane's captions again (after a change of language).
    void ApplyLanguage();
    // Button 1248: the chip location dialog, modal, through the runner when one is set (tests).
    void OnShowChipLocation();
    using ChipLocationRunner = std::function<void(CChipLocationDlg&)>;
    void SetChipLocationRunner(ChipLocationRunner runner) { m_runChipLocation = std::move(runner); }

    QWidget* GetDlgItem(int id) const;
    QCheckBox* OptionBox(HeaderOption option) const { return m_options[static_cast<int>(option)]; }
    QLineEdit* FileOffsetEdit() const { return m_fileOffset; }
    QLineEdit* DeviceOffsetEdit() const { return m_deviceOffset; }
    QComboBox* SpeedBox() const { return m_speed; }
    QSpinBox* DelayFactorBox() const { return m_delayFactor; }

    bool IsAutoStepEnabled(int type) const { return m_model.IsAutoStepEnabled(type); }
    bool DoubleWrite() const { return m_model.Option(HeaderOption::DoubleWrite); }
    bool TempUnprotect() const { return m_model.Option(HeaderOption::TempUnprotect); }
    // Sets the option, its box and the stored value.
    void SetOption(HeaderOption option, bool on);

    // The offsets as text. A refused text leaves the old value (and its text), logs text 80 and
    // answers false.
    bool SetFileOffsetText(const std::string& text);
    bool SetDeviceOffsetText(const std::string& text);
    std::string FileOffsetText() const { return m_model.FileOffsetText(); }
    std::string DeviceOffsetText() const { return m_model.DeviceOffsetText(); }

    // Any thread: the value at once, the box by a queued call.
    bool SetSpeedLevel(int level);
    int SpeedLevel() const { return m_model.SpeedLevel(); }
    bool SetDelayFactor(int factor);
    int DelayFactor() const { return m_model.DelayFactor(); }

    // GUI thread, at the start of each step.
    HeaderSnapshot Snapshot() const { return m_model.Snapshot(); }

    // The pane takes part (its timer runs, its options count) while it is enabled.
    bool IsPaneEnabled() const { return isEnabled(); }
    // Timer 120, and the end of a device setup: the current device's name, Vcc and Vpp, package
    // and adapter, where they changed.
    void Refresh();

    // The pin pattern of the class.
    void setJumperPicture(int classIndex);

    // What the labels show, for tests.
    std::string DeviceText() const;
    std::string VoltageText() const;
    std::string AdapterText() const;
    std::string PackageText() const;
    std::string PinPatternText() const;

private:
    void ShowSpeedLevel();
    void UpdatePictureTexts();

    HeaderModel m_model;
    QLabel* m_title = nullptr;
    QLabel* m_device = nullptr;
    QLabel* m_voltages = nullptr;
    QLabel* m_adapter = nullptr;
    QLabel* m_package = nullptr;
    QLabel* m_pinPattern = nullptr;
    std::array<QCheckBox*, static_cast<int>(HeaderOption::Count)> m_options {};
    QLabel* m_fileOffsetLabel = nullptr;
    QLineEdit* m_fileOffset = nullptr;
    QLabel* m_deviceOffsetLabel = nullptr;
    QLineEdit* m_deviceOffset = nullptr;
    QLabel* m_speedLabel = nullptr;
    QComboBox* m_speed = nullptr;
    QLabel* m_delayLabel = nullptr;
    QSpinBox* m_delayFactor = nullptr;
    QPushButton* m_chipLocation = nullptr;
    ChipLocationRunner m_runChipLocation;

    std::string m_shownDevice;
    std::string m_shownVoltages;
    std::string m_adapterName; // of the device shown; empty: none needed
    std::string m_packageName;
    std::string m_pinPatternValue;
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};

// The one header pane while it exists.
extern CView2Header* g_pView2Header;
