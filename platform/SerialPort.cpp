#include "SerialPort.h"
#include "Clock.h"
#include "Registry.h"
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

void setError(QString* error, const QString& text) {
    if (error)
        *error = text;
}

QString errnoText() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool speedFor(int baud, speed_t& out) {
    static const struct {
        int baud;
        speed_t speed;
    } table[] = {
        {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
        {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
        {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
        {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
    };
    for (const auto& e : table) {
        if (e.baud == baud) {
            out = e.speed;
            return true;
        }
    }
    return false;
}

} // namespace

SerialPort::~SerialPort() {
    close();
}

QString SerialPort::devicePathFor(const QString& comName) {
    QString name = comName.trimmed();
    if (name.startsWith(QLatin1String("\\\\.\\")))
        name.remove(0, 4);
    if (name.endsWith(u':'))
        name.chop(1);
    static const QRegularExpression com(QStringLiteral("^COM([0-9]+)$"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = com.match(name);
    if (!m.hasMatch())
        return comName.trimmed();
    const int n = m.captured(1).toInt();
    const QString wanted = QStringLiteral("COM%1").arg(n);
    const auto values = registry::RegistryStore::instance().values(registry::Root::LocalMachine,
                                                                   QStringLiteral("HARDWARE\\DEVICEMAP\\SERIALCOMM"));
    for (const registry::Value& v : values) {
        if (v.data.toString().trimmed().compare(wanted, Qt::CaseInsensitive) == 0)
            return v.name;
    }
    return QStringLiteral("/dev/ttyS%1").arg(n - 1);
}

bool SerialPort::open(const QString& device, QString* error) {
    close();
    const QByteArray path = QFile::encodeName(device);
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        setError(error, QStringLiteral("%1: %2").arg(device, errnoText()));
        return false;
    }
    // Exclusive: TIOCEXCL keeps other openers out, and the lock also stops a second copy run as root.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        setError(error, QStringLiteral("%1: the port is in use").arg(device));
        ::close(fd);
        return false;
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        setError(error, QStringLiteral("%1: not a serial port (%2)").arg(device, errnoText()));
        ::close(fd);
        return false;
    }
    ::ioctl(fd, TIOCEXCL);
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        setError(error, QStringLiteral("%1: %2").arg(device, errnoText()));
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

bool SerialPort::applySettings(const QString& settings, QString* error) {
    if (m_fd < 0) {
        setError(error, QStringLiteral("the port is not open"));
        return false;
    }
    const QStringList parts = settings.split(u',');
    auto part = [&](int i, const char* fallback) {
        return i < parts.size() ? parts[i].trimmed() : QString::fromLatin1(fallback);
    };
    bool ok = false;
    const int baud = part(0, "").toInt(&ok);
    speed_t speed = B0;
    if (!ok || parts.size() > 4 || !speedFor(baud, speed)) {
        setError(error, QStringLiteral("bad speed in \"%1\"").arg(settings));
        return false;
    }
    const QString parity = part(1, "n").toLower();
    const int dataBits = part(2, "8").toInt(&ok);
    if (!ok || dataBits < 5 || dataBits > 8) {
        setError(error, QStringLiteral("bad data bits in \"%1\"").arg(settings));
        return false;
    }
    const QString stop = part(3, "1");
    if (stop != QLatin1String("1") && stop != QLatin1String("2")) {
        setError(error, QStringLiteral("bad stop bits in \"%1\"").arg(settings));
        return false;
    }

    termios tio{};
    if (::tcgetattr(m_fd, &tio) != 0) {
        setError(error, errnoText());
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CMSPAR | CRTSCTS);
    tio.c_cflag |= dataBits == 5 ? CS5 : dataBits == 6 ? CS6 : dataBits == 7 ? CS7 : CS8;
    if (parity == QLatin1String("e"))
        tio.c_cflag |= PARENB;
    else if (parity == QLatin1String("o"))
        tio.c_cflag |= PARENB | PARODD;
    else if (parity == QLatin1String("m"))
        tio.c_cflag |= PARENB | PARODD | CMSPAR;
    else if (parity == QLatin1String("s"))
        tio.c_cflag |= PARENB | CMSPAR;
    else if (parity != QLatin1String("n")) {
        setError(error, QStringLiteral("bad parity in \"%1\"").arg(settings));
        return false;
    }
    if (stop == QLatin1String("2"))
        tio.c_cflag |= CSTOPB;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0 || ::tcsetattr(m_fd, TCSANOW, &tio) != 0) {
        setError(error, QStringLiteral("the port refused \"%1\": %2").arg(settings, errnoText()));
        return false;
    }
    m_requested = tio;
    return true;
}

void SerialPort::close() {
    if (m_fd < 0)
        return;
    ::ioctl(m_fd, TIOCNXCL);
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
    m_fd = -1;
}

bool SerialPort::write(const QByteArray& data, int timeoutMs) {
    if (m_fd < 0)
        return false;
    const qint64 deadline = clock_seam::tickMs() + std::max(timeoutMs, 0);
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(m_fd, data.constData() + done, size_t(data.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        const qint64 left = deadline - clock_seam::tickMs();
        if (left <= 0)
            return false;
        pollfd p{m_fd, POLLOUT, 0};
        if (::poll(&p, 1, int(left)) < 0 && errno != EINTR)
            return false;
    }
    ::tcdrain(m_fd);
    return true;
}

QByteArray SerialPort::read(int maxBytes, int totalTimeoutMs, int intervalTimeoutMs) {
    QByteArray out;
    if (m_fd < 0 || maxBytes <= 0)
        return out;
    const qint64 deadline = clock_seam::tickMs() + std::max(totalTimeoutMs, 0);
    char buf[512];
    while (out.size() < maxBytes) {
        qint64 wait = deadline - clock_seam::tickMs();
        if (wait <= 0)
            break;
        if (!out.isEmpty() && intervalTimeoutMs > 0)
            wait = std::min<qint64>(wait, intervalTimeoutMs);
        pollfd p{m_fd, POLLIN, 0};
        const int r = ::poll(&p, 1, int(wait));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (r == 0) {
            if (!out.isEmpty() && intervalTimeoutMs > 0)
                break; // the line went quiet after the first byte
            continue;  // the total deadline is checked at the top
        }
        if (!(p.revents & POLLIN))
            break; // hung up or failed
        const ssize_t n = ::read(m_fd, buf, size_t(std::min<qsizetype>(qsizetype(sizeof buf), maxBytes - out.size())));
        if (n > 0)
            out.append(buf, n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return out;
}

void SerialPort::flushInput() {
    if (m_fd >= 0)
        ::tcflush(m_fd, TCIFLUSH);
}

bool SerialPort::hungUp() const {
    if (m_fd < 0)
        return false;
    pollfd p{m_fd, 0, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}
