#include "operations/ui/View2Header.h"

#include "catalogue/ChipPicture.h"
#include "catalogue/DeviceClass.h"
#include "catalogue/ui/ChipLocationDlg.h"
#include "link/VoltageCodes.h"
#include "operations/ui/TonrigView.h"
#include "platform/GuiThread.h"
#include "shell/Language.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

CView2Header* g_pView2Header = nullptr;

namespace {

std::string Caption(int number, const std::string& value)
{
    return g_Language.GetText(number) + ": " + value;
}

void SetLabel(QLabel* label, const std::string& text)
{
    const QString q = QString::fromStdString(text);
    if (label->text() != q)
        label->setText(q);
}

} // namespace

CView2Header::CView2Header(QWidget* parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus); // a click makes it the pane with focus, as a view
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    m_title = new QLabel(this);
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);
    m_device = new QLabel("-", this);
    m_device->setFrameShape(QFrame::StyledPanel);
    m_voltages = new QLabel(this);
    m_adapter = new QLabel(this);
    m_adapter->setWordWrap(true);
    m_package = new QLabel(this);
    m_pinPattern = new QLabel(this);
    layout->addWidget(m_title);
    layout->addWidget(m_device);
    layout->addWidget(m_voltages);
    layout->addWidget(m_adapter);
    layout->addWidget(m_package);
    layout->addWidget(m_pinPattern);

    for (int i = 0; i < static_cast<int>(HeaderOption::Count); ++i) {
        const auto option = static_cast<HeaderOption>(i);
        auto* box = new QCheckBox(this);
        box->setObjectName(HeaderModel::OptionName(option));
        box->setChecked(m_model.Option(option));
        connect(box, &QCheckBox::toggled, this, [this, option](bool on) {
            if (m_model.Option(option) != on)
                m_model.SetOption(option, on);
        });
        layout->addWidget(box);
        m_options[i] = box;
    }

    auto* grid = new QGridLayout;
    m_fileOffsetLabel = new QLabel(this);
    m_fileOffsetLabel->setObjectName("FileOffsetLabel");
    m_fileOffset = new QLineEdit(QString::fromStdString(m_model.FileOffsetText()), this);
    m_fileOffset->setObjectName("FileOffset");
    m_deviceOffsetLabel = new QLabel(this);
    m_deviceOffsetLabel->setObjectName("DeviceOffsetLabel");
    m_deviceOffset = new QLineEdit(QString::fromStdString(m_model.DeviceOffsetText()), this);
    m_deviceOffset->setObjectName("DeviceOffset");
    connect(m_fileOffset, &QLineEdit::editingFinished, this,
        [this] { SetFileOffsetText(m_fileOffset->text().toStdString()); });
    connect(m_deviceOffset, &QLineEdit::editingFinished, this,
        [this] { SetDeviceOffsetText(m_deviceOffset->text().toStdString()); });
    m_speedLabel = new QLabel(this);
    m_speed = new QComboBox(this);
    m_speed->setObjectName("SpeedLevel");
    for (int level = HeaderModel::kMinSpeedLevel; level <= HeaderModel::kMaxSpeedLevel; ++level)
        m_speed->addItem(HeaderModel::SpeedLevelText(level));
    m_speed->setCurrentIndex(m_model.SpeedLevel() - HeaderModel::kMinSpeedLevel);
    connect(m_speed, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            m_model.SetSpeedLevel(index + HeaderModel::kMinSpeedLevel);
    });
    m_delayLabel = new QLabel(this);
    m_delayLabel->setObjectName("DelayFactorLabel");
    m_delayFactor = new QSpinBox(this);
    m_delayFactor->setObjectName("DelayFactor");
    m_delayFactor->setRange(HeaderModel::kMinDelayFactor, HeaderModel::kMaxDelayFactor);
    m_delayFactor->setValue(m_model.DelayFactor());
    connect(m_delayFactor, &QSpinBox::valueChanged, this, [this](int value) { m_model.SetDelayFactor(value); });
    grid->addWidget(m_fileOffsetLabel, 0, 0);
    grid->addWidget(m_fileOffset, 0, 1);
    grid->addWidget(m_deviceOffsetLabel, 1, 0);
    grid->addWidget(m_deviceOffset, 1, 1);
    grid->addWidget(m_speedLabel, 2, 0);
    grid->addWidget(m_speed, 2, 1);
    grid->addWidget(m_delayLabel, 3, 0);
    grid->addWidget(m_delayFactor, 3, 1);
    layout->addLayout(grid);

    m_chipLocation = new QPushButton(this);
    m_chipLocation->setObjectName(QString::number(IDC_CHIP_LOCATION));
    connect(m_chipLocation, &QPushButton::clicked, this, &CView2Header::OnShowChipLocation);
    layout->addWidget(m_chipLocation);
    layout->addStretch(1);
    ApplyLanguage();
    Refresh();
    g_pView2Header = this;
}

CView2Header::~CView2Header()
{
    if (g_pView2Header == this)
        g_pView2Header = nullptr;
}

void CView2Header::ApplyLanguage()
{
    m_title->setText(QString::fromStdString(g_Language.GetText(3)));
    for (int i = 0; i < static_cast<int>(HeaderOption::Count); ++i)
        m_options[i]->setText(
            QString::fromStdString(g_Language.GetText(HeaderModel::OptionTextNumber(static_cast<HeaderOption>(i)))));
    m_fileOffsetLabel->setText(QString::fromStdString(g_Language.GetText(132) + "(Hex)"));
    m_deviceOffsetLabel->setText(QString::fromStdString(g_Language.GetText(133) + "(Hex)"));
    m_speedLabel->setText(QString::fromStdString(g_Language.GetText(35)));
    m_delayLabel->setText("Delay Factor");
    m_chipLocation->setText("Chip Location");
    UpdatePictureTexts();
}

void CView2Header::OnShowChipLocation()
{
    CChipLocationDlg dialog(this);
    if (m_runChipLocation) {
        dialog.OnInitDialog();
        m_runChipLocation(dialog);
    } else {
        dialog.DoModal();
    }
}

QWidget* CView2Header::GetDlgItem(int id) const
{
    return id == IDC_CHIP_LOCATION ? m_chipLocation : nullptr;
}

void CView2Header::SetOption(HeaderOption option, bool on)
{
    m_model.SetOption(option, on);
    if (QCheckBox* box = OptionBox(option))
        box->setChecked(on);
}

bool CView2Header::SetFileOffsetText(const std::string& text)
{
    const bool ok = m_model.SetFileOffsetText(text);
    if (!ok && g_pMainView)
        g_pMainView->Log(g_Language.GetText(80) + "\r\n", CTonrigView::kLogError);
    m_fileOffset->setText(QString::fromStdString(m_model.FileOffsetText()));
    return ok;
}

bool CView2Header::SetDeviceOffsetText(const std::string& text)
{
    const bool ok = m_model.SetDeviceOffsetText(text);
    if (!ok && g_pMainView)
        g_pMainView->Log(g_Language.GetText(80) + "\r\n", CTonrigView::kLogError);
    m_deviceOffset->setText(QString::fromStdString(m_model.DeviceOffsetText()));
    return ok;
}

bool CView2Header::SetSpeedLevel(int level)
{
    if (!m_model.SetSpeedLevel(level))
        return false;
    std::weak_ptr<int> alive = m_alive;
    platform::post([this, alive] {
        if (alive.lock())
            ShowSpeedLevel();
    });
    return true;
}

void CView2Header::ShowSpeedLevel()
{
    const int index = m_model.SpeedLevel() - HeaderModel::kMinSpeedLevel;
    // Only shown: the change must not come back as the user's choice, which would put back a
    // level a worker has since replaced (the CPLD update sets 1 and then restores the user's).
    const QSignalBlocker block(m_speed);
    if (m_speed->currentIndex() != index)
        m_speed->setCurrentIndex(index);
}

bool CView2Header::SetDelayFactor(int factor)
{
    if (!m_model.SetDelayFactor(factor))
        return false;
    m_delayFactor->setValue(factor);
    return true;
}

void CView2Header::Refresh()
{
    const std::string device = g_nCurrentClass == kNoDeviceClass ? "-" : g_CurrentDevice.m_strName;
    if (device != m_shownDevice) {
        m_shownDevice = device;
        SetLabel(m_device, device);
    }
    const std::string voltages = g_nCurrentClass == kNoDeviceClass
        ? std::string()
        : std::string("Vcc: ") + GetVccText(g_CurrentDevice.m_nVcc) + "  Vpp: " + GetVppText(g_CurrentDevice.m_nVpp);
    if (voltages != m_shownVoltages) {
        m_shownVoltages = voltages;
        SetLabel(m_voltages, voltages);
    }
    // The package and the adapter are the shown device's own, whether or not its setup got as
    // far as the end: a setup that stops early must not leave the last device's lines.
    const bool selected = g_nCurrentClass != kNoDeviceClass;
    const std::string package = selected ? g_CurrentDevice.m_strPackage : std::string();
    const std::string adapter = selected ? g_CurrentDevice.m_strAdapter : std::string();
    if (package != m_packageName || adapter != m_adapterName) {
        m_packageName = package;
        m_adapterName = adapter;
        UpdatePictureTexts();
    }
}

void CView2Header::setJumperPicture(int classIndex)
{
    if (classIndex >= 0 && classIndex < kNoDeviceClass)
        m_pinPatternValue = g_DeviceClassTable[static_cast<std::size_t>(classIndex)].m_strCpldDip;
    else
        m_pinPatternValue.clear();
    UpdatePictureTexts();
}

void CView2Header::UpdatePictureTexts()
{
    SetLabel(m_adapter, Caption(37, m_adapterName.empty() ? g_Language.GetText(43) : m_adapterName));
    SetLabel(m_package, Caption(170, chip_picture::PackageName(m_packageName)));
    SetLabel(m_pinPattern, Caption(39, m_pinPatternValue));
}

std::string CView2Header::DeviceText() const
{
    return m_device->text().toStdString();
}
std::string CView2Header::VoltageText() const
{
    return m_voltages->text().toStdString();
}
std::string CView2Header::AdapterText() const
{
    return m_adapter->text().toStdString();
}
std::string CView2Header::PackageText() const
{
    return m_package->text().toStdString();
}
std::string CView2Header::PinPatternText() const
{
    return m_pinPattern->text().toStdString();
}
