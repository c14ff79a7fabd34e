#pragma once
// A TCP port for a program or server a test starts, handed over without the window in which another
// socket could take it: the port lies below the kernel's range of ephemeral ports (which it never
// hands out to a socket bound to port 0 or to an outgoing connection), and a lock file held for the
// reservation's lifetime keeps every other test process of ours off it. It was free when reserved.
#include <QtGlobal>

namespace testenv {

class PuertoReservado final {
public:
    PuertoReservado();
    ~PuertoReservado();
    PuertoReservado(const PuertoReservado&) = delete;
    PuertoReservado& operator=(const PuertoReservado&) = delete;

    quint16 puerto() const { return m_puerto; } // 0 when none could be reserved

private:
    quint16 m_puerto = 0;
    int m_cerrojo = -1;
};

} // namespace testenv
