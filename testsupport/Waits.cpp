#include "Waits.h"

#include "platform/Program.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QWidget>

namespace waits {

::testing::AssertionResult until(const std::function<bool()>& done, const QString& what, int ms) {
    program::waitWhile([&] { return !done(); }, ms);
    if (done())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "waited " << ms << " ms for " << what.toStdString();
}

Deadline::Deadline(QString what, int ms) : m_what(std::move(what)) {
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, [this, ms] {
        m_expired = true;
        ADD_FAILURE() << "waited " << ms << " ms for " << m_what.toStdString();
        program::requestEnd();
    });
    m_timer.start(ms);
}

void ModalWatch::OnTestStart(const ::testing::TestInfo&) {
    if (!qApp)
        return;
    delete m_timer;
    m_timer = new QTimer;
    QObject::connect(m_timer, &QTimer::timeout, [this] { tick(); });
    m_modal = nullptr;
    m_timer->start(50);
}

void ModalWatch::OnTestEnd(const ::testing::TestInfo&) {
    delete m_timer;
    m_timer = nullptr;
}

void ModalWatch::tick() {
    QWidget* w = QApplication::activeModalWidget();
    if (w != m_modal) {
        m_modal = w;
        m_open.start();
        return;
    }
    if (!w || m_open.elapsed() < m_ms)
        return;
    QStringList textos; // what the window says, to tell which one it was
    for (const QLabel* l : w->findChildren<QLabel*>())
        if (!l->text().trimmed().isEmpty())
            textos << l->text().trimmed();
    ADD_FAILURE() << "the modal window " << w->metaObject()->className() << " \"" << w->windowTitle().toStdString()
                  << "\" (" << textos.join(" | ").left(200).toStdString() << ") was still open after " << m_ms
                  << " ms: nothing in the test answered or closed it";
    m_modal = nullptr;
    if (auto* d = qobject_cast<QDialog*>(w))
        d->done(QDialog::Rejected);
    else
        w->close();
}

} // namespace waits
