#include "operations/ui/View2Header.h"

#include "operations/ui/TonrigView.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

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
    m_chipLocation = new QPushButton(this);
    m_chipLocation->setObjectName(QString::number(IDC_CHIP_LOCATION));
    connect(m_chipLocation, &QPushButton::clicked, this, &CView2Header::OnShowChipLocation);
    layout->addWidget(m_title);
    layout->addWidget(m_device);
    layout->addWidget(m_chipLocation);
    layout->addStretch(1);
    ApplyLanguage();
}

void CView2Header::ApplyLanguage()
{
    m_title->setText("Device");
    m_chipLocation->setText("Chip Location");
}

void CView2Header::OnShowChipLocation()
{
    if (g_pMainView)
        g_pMainView->Log("Chip location: not available yet.\r\n", CTonrigView::kLogNote);
}

QWidget* CView2Header::GetDlgItem(int id) const
{
    return id == IDC_CHIP_LOCATION ? m_chipLocation : nullptr;
}
