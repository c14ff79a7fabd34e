#pragma once
// A serial port over termios: exclusive open, raw mode (cfmakeraw), settings from a Windows
// settings text ("9600,e,8,1"), reads and writes with time-outs done with poll.
#include <QByteArray>
#include <QString>
#include <termios.h>

class SerialPort final {
public:
    SerialPort() = default;
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // "COMn" resolves through the registry's SERIALCOMM map, else /dev/ttyS{n-1}; a path is used as is.
    static QString devicePathFor(const QString& comName);

    bool open(const QString& device, QString* error = nullptr); // O_RDWR|O_NOCTTY, TIOCEXCL + flock, raw
    // "baud,parity,databits,stopbits" with parity n/e/o/m/s; false on a text or a setting the port refuses.
    bool applySettings(const QString& settings, QString* error = nullptr);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    // Writes everything (or fails); then tcdrain.
    bool write(const QByteArray& data, int timeoutMs = 1000);
    // Reads what arrives until maxBytes, or totalTimeoutMs passes, or no byte comes for intervalTimeoutMs
    // after the first one (0 = no interval limit). Returns what was read (possibly empty).
    QByteArray read(int maxBytes, int totalTimeoutMs, int intervalTimeoutMs = 0);
    void flushInput();
    // The device has gone: the line hung up (a USB adapter pulled out, the far end of a pseudo-terminal
    // closed) or the descriptor failed. An open port stays hung up until it is closed and opened again.
    bool hungUp() const;
    int fd() const { return m_fd; }
    // The line settings the last accepted applySettings asked the device for (zeroed before any). A
    // pseudo-terminal keeps only part of them (not the parity enable), so this is what tells them.
    const termios& requested() const { return m_requested; }

private:
    int m_fd = -1;
    termios m_requested{};
};
