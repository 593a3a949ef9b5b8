#include "core/systemdsupervision.h"

#include "core/kitchenservice.h"
#include "platform/services.h"
#include "platform/systemdnotifier.h"

using namespace Qt::StringLiterals;

namespace tavo::core {

namespace {

class Supervision : public QObject {
public:
    explicit Supervision(KitchenService &service)
        : QObject(&service)
        , m_service(service)
        , m_notifier(this)
    {
        // Loading listed the port once.
        m_lastScan = now();
        m_lastNewRows = listedRows();
        connect(&service, &KitchenService::ticked, this, [this] { m_inTick = true; });
        // A tick checks for new orders only every KPCycleTime ticks, after the business date.
        connect(&service, &KitchenService::businessDate, this, [this] { m_scanning = m_service.listing(); });
        connect(&service, &KitchenService::rowsListed, this, [this](int, int count) { m_newRows += count; });
        connect(&service, &KitchenService::stateChanged, this, &Supervision::stateChanged);
        connect(&service, &KitchenService::runningChanged, this, &Supervision::publish);
        m_notifier.ready();
        publish();
    }

private:
    static QDateTime now() { return platform::services().clock->now(); }
    int listedRows() const { return m_service.orders().Rows() - m_service.orders().FixedRows(); }

    void stateChanged(KitchenService::State state)
    {
        switch (state) {
        case KitchenService::State::Scanning:
            // Outside a tick only a wake scans.
            if (!m_inTick)
                m_scanning = true;
            break;
        case KitchenService::State::Idle:
            if (m_scanning) {
                m_lastScan = now();
                m_lastNewRows = m_newRows;
            }
            m_inTick = m_scanning = false;
            m_newRows = 0;
            publish();
            break;
        case KitchenService::State::Ending:
            m_notifier.stopping();
            break;
        default:
            break;
        }
    }

    void publish()
    {
        QString mode;
        if (!m_service.running())
            mode = m_service.startTimer().isTicking() ? u"等待自動啟動"_s : u"暫停服務"_s;
        else if (!m_service.listing())
            mode = u"列印菜條未勾選, 不檢查新點單"_s;
        else
            mode = u"監控送廚出口 "_s + m_service.port();
        m_notifier.setStatus(u"%1; 上次檢查 %2, 新增 %3 筆, 清單共 %4 筆"_s.arg(mode,
            m_lastScan.toString(u"yyyy/MM/dd hh:mm:ss"_s), QString::number(m_lastNewRows),
            QString::number(listedRows())));
    }

    KitchenService &m_service;
    platform::SystemdNotifier m_notifier;
    QDateTime m_lastScan;
    int m_lastNewRows = 0;
    int m_newRows = 0; // listed by the scan under way
    bool m_inTick = false;
    bool m_scanning = false;
};

} // namespace

void superviseBySystemd(KitchenService &service)
{
    new Supervision(service);
}

} // namespace tavo::core
