#include "catalogue/ui/DeviceSelectDlg.h"

#include "catalogue/ChipPicture.h"
#include "catalogue/DeviceClass.h"
#include "catalogue/DeviceLibrary.h"
#include "catalogue/DeviceOverlay.h"
#include "controls/ui/XColorStatic.h"
#include "platform/TextFormat.h"
#include "platform/ui/QtServices.h"
#include "shell/Language.h"

#include <QAbstractListModel>
#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStringListModel>
#include <QVBoxLayout>

// The lines of the device or favourite list: positions in the model's entries.
class DeviceLineListModel : public QAbstractListModel {
public:
    DeviceLineListModel(bool favorites, QObject* parent)
        : QAbstractListModel(parent)
        , m_favorites(favorites)
    {
    }
    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() || !m_model ? 0 : static_cast<int>(Lines().size());
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= rowCount())
            return {};
        const DeviceSelectEntry& e = m_model->Entries()[Lines()[index.row()]];
        if (role == Qt::DisplayRole)
            return QString::fromStdString(e.name);
        if (role == Qt::UserRole)
            return e.classIndex;
        return {};
    }
    // Shows the lines of `model` as they are now.
    void Reset(const CDeviceSelectModel* model)
    {
        beginResetModel();
        m_model = model;
        endResetModel();
    }

private:
    const std::vector<std::size_t>& Lines() const { return m_favorites ? m_model->Favorites() : m_model->Devices(); }
    const CDeviceSelectModel* m_model = nullptr;
    bool m_favorites;
};

namespace {

CDeviceSelectDlg::RequestNewChipHook& RequestHook()
{
    static CDeviceSelectDlg::RequestNewChipHook hook;
    return hook;
}

struct TypeButton {
    int id;
    int category;
    const char* caption; // the template's own; ALL takes text 111
};
constexpr TypeButton kTypeButtons[] = {
    { CDeviceSelectDlg::IDC_TYPE_ALL, 0, "ALL" },
    { CDeviceSelectDlg::IDC_TYPE_EPROM, 1, "EPROM" },
    { CDeviceSelectDlg::IDC_TYPE_FLASH, 3, "Flash/EEPROM" },
    { CDeviceSelectDlg::IDC_TYPE_MCU, 4, "MCU/CPU/MPU" },
    { CDeviceSelectDlg::IDC_TYPE_SERIAL, 5, "Serial EEPROM" },
    { CDeviceSelectDlg::IDC_TYPE_SRAM, 6, "SRAM" },
    { CDeviceSelectDlg::IDC_TYPE_GAL, 7, "GAL/CPLD" },
    { CDeviceSelectDlg::IDC_TYPE_CMOS, 8, "TTL/CMOS" },
};

// Controls whose caption is a text of the language table.
struct LanguageCaption {
    int id;
    int text;
};
constexpr LanguageCaption kCaptions[] = {
    { CDeviceSelectDlg::IDC_TITLE, 105 },
    { CDeviceSelectDlg::IDC_SEARCH_LABEL, 108 },
    { CDeviceSelectDlg::IDC_NOT_FOUND, 208 },
    { CDeviceSelectDlg::IDC_REQUEST, 207 },
    { CDeviceSelectDlg::IDC_TYPE_LABEL, 109 },
    { CDeviceSelectDlg::IDC_TYPE_ALL, 111 },
    { CDeviceSelectDlg::IDC_MANUFACTURER_LABEL, 106 },
    { CDeviceSelectDlg::IDC_DEVICE_LABEL, 3 },
    { CDeviceSelectDlg::IDC_FAVORITE_LABEL, 107 },
    { CDeviceSelectDlg::IDC_INFO_DEVICE, 3 },
    { CDeviceSelectDlg::IDC_INFO_MANUFACTURER, 106 },
    { CDeviceSelectDlg::IDC_INFO_PACKAGE, 170 },
    { CDeviceSelectDlg::IDC_INFO_ADAPTER, 37 },
    { CDeviceSelectDlg::IDC_INFO_PROGRAMMER, 167 },
    { CDeviceSelectDlg::IDC_TIPS, 110 },
    { CDeviceSelectDlg::IDC_OK, 117 },
    { CDeviceSelectDlg::IDC_CANCEL, 47 },
};

// The text of the language table, or the built-in English one while no table is loaded.
QString LanguageText(int number)
{
    return QString::fromStdString(g_Language.GetTextOrDefault(number));
}

void SetCaption(QWidget* control, const QString& text)
{
    if (auto* label = qobject_cast<QLabel*>(control))
        label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(control))
        button->setText(text);
    else if (auto* group = qobject_cast<QGroupBox*>(control))
        group->setTitle(text);
}

void SetId(QWidget* control, int id)
{
    control->setObjectName(QString::number(id));
}

QListView* MakeList(QWidget* parent, int id)
{
    auto* list = new QListView(parent);
    SetId(list, id);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setUniformItemSizes(true);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    return list;
}

// Highlights `line` of `list` (none for -1) without telling anyone.
void Highlight(QListView* list, int line)
{
    QItemSelectionModel* selection = list->selectionModel();
    const QSignalBlocker block(selection);
    if (line < 0) {
        selection->clear();
        return;
    }
    const QModelIndex index = list->model()->index(line, 0);
    selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    list->scrollTo(index);
}

} // namespace

int DeviceSelectCategoryOfButton(int id)
{
    for (const TypeButton& b : kTypeButtons)
        if (b.id == id)
            return b.category;
    return -1;
}

void CDeviceSelectDlg::ApplyDeviceRecord(const CDeviceRecord& record)
{
    ::ApplyDeviceRecord(record);
}

CDeviceSelectDlg::CDeviceSelectDlg(QWidget* parent)
    : QDialog(parent)
    , m_nSelectedClass(kNoDeviceClass)
{
    SetId(this, IDD);
    // The dialog's template font, substituted where Linux lacks it.
    setFont(platform::MakeFont("Arial", 9));
    BuildControls();
    ApplyTexts();
}

CDeviceSelectDlg::~CDeviceSelectDlg() = default;

void CDeviceSelectDlg::SetRequestNewChipHook(RequestNewChipHook hook)
{
    RequestHook() = std::move(hook);
}

QWidget* CDeviceSelectDlg::GetDlgItem(int id) const
{
    return findChild<QWidget*>(QString::number(id));
}

void CDeviceSelectDlg::BuildControls()
{
    auto label = [this](int id, const QString& text = {}) {
        auto* l = new QLabel(text, this);
        SetId(l, id);
        return l;
    };
    auto value = [this](int id, const QString& text) {
        auto* v = new CXColorStatic(text, this, CXColorStatic::SS_CENTERIMAGE);
        SetId(v, id);
        v->SetTextColor(kValueColour, false);
        return v;
    };

    auto* title = label(IDC_TITLE);
    QFont titleFont = title->font();
    titleFont.setBold(true);
    title->setFont(titleFont);

    // Search and request.
    m_editSearch = new QLineEdit(this);
    SetId(m_editSearch, IDC_SEARCH);
    auto* notFound = label(IDC_NOT_FOUND);
    notFound->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_btnRequest = new QPushButton(this);
    SetId(m_btnRequest, IDC_REQUEST);
    m_btnRequest->setAutoDefault(false);
    auto* searchRow = new QHBoxLayout;
    searchRow->addWidget(label(IDC_SEARCH_LABEL));
    searchRow->addWidget(m_editSearch, 1);
    searchRow->addSpacing(12);
    searchRow->addWidget(notFound);
    searchRow->addWidget(m_btnRequest);

    // Types.
    m_typeButtons = new QButtonGroup(this);
    auto* types = new QVBoxLayout;
    types->addWidget(label(IDC_TYPE_LABEL));
    for (const TypeButton& b : kTypeButtons) {
        auto* radio = new QRadioButton(b.caption, this);
        SetId(radio, b.id);
        radio->setAutoExclusive(true);
        m_typeButtons->addButton(radio, b.id);
        types->addWidget(radio);
    }
    m_typeButtons->button(IDC_TYPE_CMOS)->setEnabled(false);
    types->addStretch(1);

    // Manufacturers, devices, favourites.
    m_listManufacturers = MakeList(this, IDC_MANUFACTURERS);
    m_manufacturerLines = new QStringListModel(this);
    m_listManufacturers->setModel(m_manufacturerLines);
    m_listDevices = MakeList(this, IDC_DEVICES);
    m_deviceLines = new DeviceLineListModel(false, this);
    m_listDevices->setModel(m_deviceLines);
    m_listFavorites = MakeList(this, IDC_FAVORITES);
    m_favoriteLines = new DeviceLineListModel(true, this);
    m_listFavorites->setModel(m_favoriteLines);

    auto* add = new QPushButton(">>", this);
    SetId(add, IDC_ADD_FAVORITE);
    add->setAutoDefault(false);
    auto* remove = new QPushButton("<<", this);
    SetId(remove, IDC_REMOVE_FAVORITE);
    remove->setAutoDefault(false);
    auto* favButtons = new QVBoxLayout;
    favButtons->addStretch(1);
    favButtons->addWidget(add);
    favButtons->addWidget(remove);
    favButtons->addStretch(1);

    auto* lists = new QGridLayout;
    lists->addWidget(label(IDC_MANUFACTURER_LABEL), 0, 0);
    lists->addWidget(m_listManufacturers, 1, 0);
    lists->addWidget(label(IDC_DEVICE_LABEL), 0, 1);
    lists->addWidget(m_listDevices, 1, 1);
    lists->addLayout(favButtons, 1, 2);
    lists->addWidget(label(IDC_FAVORITE_LABEL), 0, 3);
    lists->addWidget(m_listFavorites, 1, 3);
    lists->setColumnStretch(0, 2);
    lists->setColumnStretch(1, 3);
    lists->setColumnStretch(3, 3);

    auto* middle = new QHBoxLayout;
    middle->addLayout(types);
    middle->addLayout(lists, 1);

    // Information about the highlighted device.
    auto* info = new QGroupBox(this);
    SetId(info, IDC_INFO_GROUP);
    m_valueDevice = value(IDC_VALUE_DEVICE, "-");
    m_valueManufacturer = value(IDC_VALUE_MANUFACTURER, "-");
    m_valuePackage = value(IDC_VALUE_PACKAGE, "-");
    m_valueAdapter = value(IDC_VALUE_ADAPTER, "");
    m_valueProgrammer = value(IDC_VALUE_PROGRAMMER, "-");
    auto* facts = new QGridLayout(info);
    const std::pair<int, CXColorStatic*> rows[] = {
        { IDC_INFO_DEVICE, m_valueDevice },
        { IDC_INFO_MANUFACTURER, m_valueManufacturer },
        { IDC_INFO_PACKAGE, m_valuePackage },
        { IDC_INFO_ADAPTER, m_valueAdapter },
        { IDC_INFO_PROGRAMMER, m_valueProgrammer },
    };
    int row = 0;
    for (const auto& [labelId, valueStatic] : rows) {
        facts->addWidget(label(labelId), row, 0);
        facts->addWidget(valueStatic, row, 1);
        ++row;
    }
    facts->setColumnStretch(1, 1);

    m_tips = new CXColorStatic(this);
    SetId(m_tips, IDC_TIPS);
    m_tips->SetTextColor(kValueColour, false);

    auto* ok = new QPushButton(this);
    SetId(ok, IDC_OK);
    ok->setDefault(true);
    auto* cancel = new QPushButton(this);
    SetId(cancel, IDC_CANCEL);
    cancel->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(info, 1);
    bottom->addWidget(m_tips, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addLayout(searchRow);
    layout->addLayout(middle, 1);
    layout->addLayout(bottom);
    layout->addLayout(buttons);
    resize(760, 520);

    connect(m_typeButtons, &QButtonGroup::idClicked, this, &CDeviceSelectDlg::OnTypeButton);
    connect(m_editSearch, &QLineEdit::textChanged, this, &CDeviceSelectDlg::OnSearchChanged);
    connect(m_listManufacturers->selectionModel(), &QItemSelectionModel::currentChanged, this,
        [this](const QModelIndex& index) { OnManufacturerChanged(index.row()); });
    connect(m_listDevices->selectionModel(), &QItemSelectionModel::currentChanged, this,
        [this](const QModelIndex& index) { OnDeviceHighlighted(index.row()); });
    connect(m_listFavorites->selectionModel(), &QItemSelectionModel::currentChanged, this,
        [this](const QModelIndex& index) { OnFavoriteHighlighted(index.row()); });
    // A click on the line that is highlighted already changes no current line.
    connect(m_listManufacturers, &QListView::clicked, this, [this](const QModelIndex& index) {
        if (m_model && index.row() >= 0 && index.row() < static_cast<int>(m_model->Manufacturers().size())
            && m_model->ManufacturerFilter() != m_model->Manufacturers()[index.row()])
            OnManufacturerChanged(index.row());
    });
    connect(m_listDevices, &QListView::clicked, this, [this](const QModelIndex& index) {
        if (index.row() != m_nUserDeviceLine)
            OnDeviceHighlighted(index.row());
    });
    connect(m_listFavorites, &QListView::clicked, this, [this](const QModelIndex& index) {
        if (index.row() != m_nUserFavoriteLine)
            OnFavoriteHighlighted(index.row());
    });
    connect(m_listDevices, &QListView::doubleClicked, this, &CDeviceSelectDlg::OnDoubleClick);
    connect(m_listFavorites, &QListView::doubleClicked, this, &CDeviceSelectDlg::OnDoubleClick);
    connect(add, &QPushButton::clicked, this, &CDeviceSelectDlg::OnAddFavorite);
    connect(remove, &QPushButton::clicked, this, &CDeviceSelectDlg::OnRemoveFavorite);
    connect(m_btnRequest, &QPushButton::clicked, this, &CDeviceSelectDlg::OnRequestNewChip);
    connect(ok, &QPushButton::clicked, this, &CDeviceSelectDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CDeviceSelectDlg::reject);
}

void CDeviceSelectDlg::ApplyTexts()
{
    setWindowTitle(LanguageText(105));
    for (const LanguageCaption& c : kCaptions)
        if (QWidget* control = GetDlgItem(c.id))
            SetCaption(control, LanguageText(c.text));
}

int CDeviceSelectDlg::DoModal()
{
    OnInitDialog();
    return exec();
}

void CDeviceSelectDlg::OnInitDialog()
{
    m_bCancelled = 1;
    m_deferReloads.emplace();
    m_opening = std::make_unique<CurrentDeviceSnapshot>();
    ApplyTexts();
    m_btnRequest->setEnabled(static_cast<bool>(RequestHook()));
    m_valueAdapter->setText("");
    m_nSelectedClass = g_nCurrentClass;

    m_model = std::make_unique<CDeviceSelectModel>(DeviceSelectEntriesFromRecords());
    m_model->Open(CDeviceSelectModel::ReadStoredFavorites());
    m_typeButtons->button(IDC_TYPE_ALL)->setChecked(true);
    ShowModel();

    m_tips->SetTextColor(kValueColour);
    m_tips->setText(LanguageText(110));
    m_editSearch->setFocus();
}

void CDeviceSelectDlg::ShowModel()
{
    const CDeviceSelectModel& m = *m_model;
    {
        const QSignalBlocker block(m_listManufacturers->selectionModel());
        QStringList names;
        names.reserve(static_cast<int>(m.Manufacturers().size()));
        for (const auto& name : m.Manufacturers())
            names.push_back(QString::fromStdString(name));
        if (names != m_manufacturerLines->stringList())
            m_manufacturerLines->setStringList(names);
    }
    {
        const QSignalBlocker block(m_listDevices->selectionModel());
        m_deviceLines->Reset(&m);
    }
    {
        const QSignalBlocker block(m_listFavorites->selectionModel());
        m_favoriteLines->Reset(&m);
    }
    m_nUserDeviceLine = m_nUserFavoriteLine = -1;
    Highlight(m_listManufacturers, m.ManufacturerHighlight());
    Highlight(m_listDevices, m.DeviceHighlight());
    Highlight(m_listFavorites, m.FavoriteHighlight());
    for (const TypeButton& b : kTypeButtons)
        if (b.category == m.Category()) {
            const QSignalBlocker block(m_typeButtons);
            m_typeButtons->button(b.id)->setChecked(true);
        }
    if (m_editSearch->text().toStdString() != m.Search()) {
        const QSignalBlocker block(m_editSearch);
        m_editSearch->setText(QString::fromStdString(m.Search()));
    }
}

void CDeviceSelectDlg::OnTypeButton(int id)
{
    const int category = DeviceSelectCategoryOfButton(id);
    if (!m_model || category < 0)
        return;
    m_model->SelectCategory(category);
    ShowModel();
}

void CDeviceSelectDlg::OnManufacturerChanged(int line)
{
    if (!m_model || line < 0)
        return;
    m_model->SelectManufacturer(line);
    ShowModel();
    ShowSelection();
}

void CDeviceSelectDlg::OnSearchChanged(const QString& text)
{
    if (!m_model)
        return;
    m_model->SetSearch(text.toStdString());
    ShowModel();
}

void CDeviceSelectDlg::OnDeviceHighlighted(int line)
{
    if (!m_model || line < 0)
        return;
    m_model->HighlightDevice(line);
    m_nUserDeviceLine = line;
    m_nUserFavoriteLine = -1;
    Highlight(m_listFavorites, -1);
    ShowSelection();
}

void CDeviceSelectDlg::OnFavoriteHighlighted(int line)
{
    if (!m_model || line < 0)
        return;
    m_model->HighlightFavorite(line);
    m_nUserFavoriteLine = line;
    m_nUserDeviceLine = -1;
    Highlight(m_listDevices, -1);
    ShowSelection();
}

bool CDeviceSelectDlg::SelectHighlighted()
{
    const DeviceSelectEntry* entry = m_model ? m_model->Highlighted() : nullptr;
    if (!entry)
        return false;
    if (!SelectDeviceEntry(*entry))
        return false;
    m_nSelectedClass = entry->classIndex;
    return true;
}

void CDeviceSelectDlg::ShowSelection()
{
    if (!SelectHighlighted())
        return;
    const CurrentDeviceFacts facts = GetCurrentDeviceFacts();
    m_valuePackage->SetTextColor(kPackageColour, false);
    m_valuePackage->setText(
        QString::fromStdString(facts.package.empty() ? "-" : chip_picture::PackageName(facts.package)));
    const std::pair<CXColorStatic*, std::string> values[] = {
        { m_valueManufacturer, facts.manufacturer },
        { m_valueDevice, facts.name },
        { m_valueAdapter, facts.adapter.empty() ? "-" : facts.adapter },
        { m_valueProgrammer, facts.platform.empty() ? "ZV-CQ" : facts.platform },
    };
    for (const auto& [control, text] : values) {
        control->SetTextColor(kValueColour, false);
        control->setText(QString::fromStdString(text));
    }
}

void CDeviceSelectDlg::OnDoubleClick()
{
    SelectHighlighted();
    m_bCancelled = 0;
    QDialog::accept();
}

void CDeviceSelectDlg::accept()
{
    // A search that found nothing leaves nothing to take: the dialog stays for another search.
    if (m_model && !m_model->Highlighted() && !m_model->Search().empty())
        return;
    SelectHighlighted();
    m_bCancelled = 0;
    QDialog::accept();
}

void CDeviceSelectDlg::reject()
{
    m_bCancelled = 1;
    if (m_opening)
        m_opening->Restore();
    QDialog::reject();
}

void CDeviceSelectDlg::done(int result)
{
    QDialog::done(result);
    // A reload of the lists asked for while the dialog was open runs now.
    m_deferReloads.reset();
}

void CDeviceSelectDlg::OnAddFavorite()
{
    if (!m_model)
        return;
    if (m_model->AddFavorite() == CDeviceSelectModel::AddResult::NameHasComma)
        DeviceListLog(platform::Format("#WARNING# \"%s\" cannot be a favourite: its name holds a comma",
                          m_model->Highlighted()->name.c_str()),
            RGB(192, 96, 0));
    ShowModel();
}

void CDeviceSelectDlg::OnRemoveFavorite()
{
    if (!m_model)
        return;
    m_model->RemoveFavorite();
    ShowModel();
}

void CDeviceSelectDlg::OnRequestNewChip()
{
    if (RequestHook())
        RequestHook()(*this);
}
