#include "sim/Socket.h"

namespace sim {

Chip& Socket::Insert(ChipSpec chipSpec)
{
    m_chip = std::make_unique<Chip>(std::move(chipSpec));
    ++m_serial;
    if (m_supply)
        m_supply->LoadChip(&m_chip->Facts());
    return *m_chip;
}

void Socket::Remove()
{
    m_chip.reset();
    ++m_serial;
    if (m_supply)
        m_supply->LoadChip(nullptr);
}

void Socket::SetSupply(SocketSupply* supply)
{
    m_supply = supply;
    if (m_supply)
        m_supply->LoadChip(m_chip ? &m_chip->Facts() : nullptr);
}

void Socket::PowerLost()
{
    if (m_chip)
        m_chip->PowerLost();
}

} // namespace sim
