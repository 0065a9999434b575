#include "operations/ui/VoltageTestDlg.h"

#include "controls/ui/RichEditCtrlExtend.h"
#include "link/ProgrammerModel.h"
#include "platform/FontFaces.h"
#include "platform/GuiThread.h"

#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

CVoltageTestDlg::CVoltageTestDlg(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(kVoltageDialogCaption);
    QFont font(QString::fromStdString(platform::SubstituteFontFace("System")));
    font.setPointSize(10);
    setFont(font);
    resize(440, 420);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_log = new CRichEditCtrlExtend(this);
    m_log->setObjectName(QString::number(kLogId));
    m_log->setReadOnly(true);
    m_log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    layout->addWidget(m_log, 1);

    auto* strip = new QWidget(this);
    strip->setFixedHeight(kStripHeight);
    auto* buttons = new QHBoxLayout(strip);
    m_test = new QPushButton(kVoltageTestButton, strip);
    m_test->setObjectName("1");
    m_test->setDefault(true);
    m_exit = new QPushButton(kVoltageExitButton, strip);
    m_exit->setObjectName("2");
    buttons->addStretch(1);
    buttons->addWidget(m_test);
    buttons->addStretch(1);
    buttons->addWidget(m_exit);
    buttons->addStretch(1);
    layout->addWidget(strip);

    connect(m_test, &QPushButton::clicked, this, [this] { OnOK(); });
    connect(m_exit, &QPushButton::clicked, this, [this] { reject(); });
}

CVoltageTestDlg::~CVoltageTestDlg()
{
    if (m_stop)
        m_stop->request_stop();
}

void CVoltageTestDlg::OnInitDialog()
{
    m_log->SetFaceName("Fixedsys");
    m_log->SetFontSize(7);
    m_log->AppendText(kVoltageWarning, kVoltageFailed);
}

void CVoltageTestDlg::OnOK()
{
    if (m_running || !m_test->isEnabled())
        return;
    m_test->setEnabled(false);
    m_log->AppendText(kVoltageVccHeading, kVoltageHeading);
    m_model = g_nProgrammerModel.load();
    auto stop = std::make_shared<std::stop_source>();
    const QPointer<CVoltageTestDlg> self(this);
    const int model = m_model;
    auto work = [self, stop, model](ExchangeLink& link, std::stop_token workerStop) {
        // The view's shut-down or the dialog's Exit, whichever comes first.
        std::stop_source either;
        std::stop_callback byView(workerStop, [&either] { either.request_stop(); });
        std::stop_callback byDialog(stop->get_token(), [&either] { either.request_stop(); });
        RunVoltageChain(link, model, either.get_token(), [self](const VoltageReading& reading) {
            platform::post([self, reading] {
                if (self)
                    self->OnReading(reading);
            });
        });
    };
    auto done = [self](bool) {
        if (self)
            self->OnChainEnd();
    };
    m_stop = stop;
    m_running = m_start && m_start(std::move(work), std::move(done));
    if (!m_running) {
        m_stop.reset();
        m_log->AppendText(kVoltageBusy, kVoltageFailed);
        m_test->setEnabled(true);
    }
}

void CVoltageTestDlg::OnReading(const VoltageReading& reading)
{
    if (!m_running)
        return;
    if (!reading.answered)
        m_log->AppendText(kVoltageNoReply, kVoltageFailed);
    const VoltageLine line = JudgeVoltage(reading.step, m_model, reading.code);
    m_log->AppendText(line.text, line.colour);
    if (reading.step == 205)
        m_log->AppendText(kVoltageVppHeading, kVoltageHeading);
    else if (reading.step == 211)
        m_log->AppendText(kVoltageDoneHeading, kVoltageHeading);
}

void CVoltageTestDlg::OnChainEnd()
{
    m_running = false;
    m_stop.reset();
    m_test->setEnabled(true);
}

void CVoltageTestDlg::reject()
{
    if (m_stop)
        m_stop->request_stop();
    m_running = false;
    QDialog::reject();
}
