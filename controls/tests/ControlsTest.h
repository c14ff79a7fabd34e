#pragma once
// What the controls tests share: scripted prompts (so nothing modal appears unless a test asks
// for it), the recording main window's log grid, and mouse events sent straight to a widget.
#include "core/basGeneral.h"
#include "platform/Prompts.h"
#include "testsupport/RecordingMainWindow.h"
#include "testsupport/ScriptedPrompts.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

class ControlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        prompts::install(&m_prompts);
        setMainWindow(nullptr);
        recordingMainWindow().grid.clear();
    }
    void TearDown() override { prompts::install(nullptr); }

    bool logContiene(const QString& texto) const { return recordingMainWindow().grid.join('\n').contains(texto); }

    prompts::ScriptedPrompts m_prompts;
};

namespace raton {
inline void envia(QWidget* w, QEvent::Type tipo, QPoint pos) {
    const Qt::MouseButtons botones = tipo == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(tipo, QPointF(pos), w->mapToGlobal(QPointF(pos)), Qt::LeftButton, botones, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}
inline void pulsa(QWidget* w) {
    envia(w, QEvent::MouseButtonPress, w->rect().center());
}
inline void suelta(QWidget* w) {
    envia(w, QEvent::MouseButtonRelease, w->rect().center());
}
inline void toca(QWidget* w) {
    pulsa(w);
    suelta(w);
}
// The second tap of a quick double tap reaches the widget as a double click.
inline void dobleToque(QWidget* w) {
    toca(w);
    envia(w, QEvent::MouseButtonDblClick, w->rect().center());
    suelta(w);
}
} // namespace raton

// A keypad window of type F, made and shown for each test. teclas() taps its on-screen keys by Tag
// (F::tecla), separated by the fixture's separator; escribe() types each character on the keyboard;
// haz() does either: "=text" types, anything else taps.
template <class F> class KeypadTest : public ControlsTest {
protected:
    explicit KeypadTest(QChar separador = QLatin1Char(' ')) : m_separador(separador) {}

    void SetUp() override {
        ControlsTest::SetUp();
        m_f = std::make_unique<F>();
        m_f->show();
    }
    void TearDown() override {
        m_f.reset();
        ControlsTest::TearDown();
    }
    void teclas(const QString& tags) {
        for (const QString& t : tags.split(m_separador, Qt::SkipEmptyParts)) {
            QWidget* k = m_f->tecla(t);
            ASSERT_NE(k, nullptr) << "'" << t.toStdString() << "'";
            raton::toca(k);
        }
    }
    void escribe(const QString& texto) {
        for (QChar c : texto)
            QTest::keyClick(m_f.get(), c.toLatin1());
    }
    void haz(const QString& accion) { accion.startsWith('=') ? escribe(accion.mid(1)) : teclas(accion); }
    // Once the next modal window F opens: `mira` looks at it, then `tags` are tapped on it.
    void alAbrir(
        const QString& tags, std::function<void(F*)> mira = [](F*) {}) {
        QTimer::singleShot(0, [this, tags, mira] {
            auto* f = qobject_cast<F*>(QApplication::activeModalWidget());
            ASSERT_NE(f, nullptr);
            mira(f);
            for (const QString& t : tags.split(m_separador))
                raton::toca(f->tecla(t));
        });
    }

    // A widget of the window by its object name.
    template <class W> W* hijo(const char* nombre) const { return m_f->template findChild<W*>(nombre); }

    std::unique_ptr<F> m_f;

private:
    QChar m_separador;
};
