// The timed callback contexts of the communication window. A subscriber puts timer contexts
// (entities) into subcriptoresTimerCentinela; every tick of the sentinel (6 s, stopped until
// activaTimerComprobaciones) starts one 10 ms one-shot per context, and the one-shot's tick runs the
// context's callback on the request front when its interval has passed since the last run:
//
//   "pausa"               true skips the context
//   "segundos_intervalo"  seconds between runs; 0 or less never runs
//   "evento_timer_lanzado", "fecha"   clock (seconds since midnight) and day of the last run or reset
//   "funcion_callback"    a member of the front called by name without arguments ("" calls nothing)
//   "ejecutando"          true while the callback runs; a context still running is not started again
//   "ejecutar"            true after each run that finished
//
// The first visit of a day only stamps the context. Callbacks are late-bound calls: only the members
// the front lists as callable can be reached.
#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "core/basLegacyFunctions.h"
#include "platform/Clock.h"
#include "platform/LateBound.h"
#include "platform/VBError.h"
#include "server/clsSocketFront.h"
#include "server/frmComSocket.h"

#include <QTimer>
#include <map>

namespace {

constexpr int kPeriodoCentinelaMs = 6000;
constexpr int kPeriodoUnDisparoMs = 10;

// A key of the context with its default when absent, null or "#ERROR#".
Variant valor(const vb::EntidadPtr& e, const char* clave, const Variant& defecto) {
    return basFuncionesComunes::VarToStr(e->Valor(QLatin1String(clave)), defecto);
}

} // namespace

class frmComSocket::Temporizadores final : public QObject {
public:
    explicit Temporizadores(frmComSocket* ventana) {
        TimerComprobaciones.setInterval(kPeriodoCentinelaMs);
        connect(&TimerComprobaciones, &QTimer::timeout, ventana, &frmComSocket::TimerComprobaciones_Timer);
    }
    // The upper bound of the one-shot array (element 0 is the design-time one, never used).
    qint16 ubound() const { return TimerAsync.empty() ? 0 : TimerAsync.rbegin()->first; }
    void descarga(qint16 indice) {
        const auto it = TimerAsync.find(indice);
        if (it == TimerAsync.end())
            return;
        it->second->stop();
        it->second->deleteLater(); // its own tick may be on the stack
        TimerAsync.erase(it);
    }

    QTimer TimerComprobaciones;
    std::map<qint16, QTimer*> TimerAsync;
    std::map<qint16, vb::EntidadPtr> contextoTimerAsync;
    vb::ColeccionPtr subcriptores;
    vb::LateBound* objetoCallbacks = nullptr;
};

frmComSocket::Temporizadores& frmComSocket::temporizadores() {
    if (!m_temporizadores)
        m_temporizadores = std::make_shared<Temporizadores>(this);
    return *m_temporizadores;
}

vb::ColeccionPtr frmComSocket::subcriptoresTimerCentinela() {
    Temporizadores& t = temporizadores();
    if (!t.subcriptores)
        t.subcriptores = std::make_shared<vb::coleccionGenerica>();
    return t.subcriptores;
}

void frmComSocket::activaTimerComprobaciones(bool activo) {
    if (activo)
        temporizadores().TimerComprobaciones.start();
    else if (m_temporizadores)
        m_temporizadores->TimerComprobaciones.stop();
}

bool frmComSocket::timerComprobacionesActivo() const {
    return m_temporizadores && m_temporizadores->TimerComprobaciones.isActive();
}

int frmComSocket::timersAsyncCargados() const {
    return m_temporizadores ? int(m_temporizadores->TimerAsync.size()) : 0;
}

void frmComSocket::setObjetoCallbacks(vb::LateBound* objeto) {
    temporizadores().objetoCallbacks = objeto;
}

void frmComSocket::TimerComprobaciones_Timer() {
    AtrapaErrores(QStringLiteral("frmComSocket.TimerComprobaciones_Timer"), [&] {
        if (!gblnProgramaInicializado || basLegacyFunctions::FuncionLegacyCero() != 0)
            return;
        // A copy: a callback run from a nested wait may change the list.
        const auto contextos = subcriptoresTimerCentinela()->items();
        for (const vb::EntidadPtr& e : contextos)
            creaNuevoTimerAsync(e);
    });
}

qint16 frmComSocket::creaNuevoTimerAsync(const vb::EntidadPtr& eSubscriptor) {
    qint16 indice = 0;
    AtrapaErrores(QStringLiteral("frmComSocket.creaNuevoTimerAsync"), [&] {
        Temporizadores& t = temporizadores();
        indice = vb::CInt(Variant(qint32(t.ubound()) + 1));
        t.contextoTimerAsync[indice] = eSubscriptor;
        auto* timer = new QTimer(&t);
        timer->setInterval(kPeriodoUnDisparoMs);
        connect(timer, &QTimer::timeout, this, [this, indice] { TimerAsync_Timer(indice); });
        t.TimerAsync[indice] = timer;
        timer->start();
    });
    return indice;
}

void frmComSocket::TimerAsync_Timer(qint16 Index) {
    Temporizadores& t = temporizadores();
    QString progreso;
    vb::EntidadPtr e;
    bool enCurso = false;
    vb::OnError(
        [&] {
            progreso = QStringLiteral("Timer enabled = False");
            if (const auto it = t.TimerAsync.find(Index); it != t.TimerAsync.end())
                it->second->stop();
            if (const auto it = t.contextoTimerAsync.find(Index); it != t.contextoTimerAsync.end()) {
                progreso = QStringLiteral("get eSubscriptor");
                e = it->second;
                progreso = QStringLiteral("contextoTimerAsync.Remove(") + QString::number(Index) + QStringLiteral(")");
                t.contextoTimerAsync.erase(it);
            }
            // A context whose callback is still running (inside a nested wait) is left to it.
            if (e && !vb::CBool(valor(e, "pausa", false)) && !vb::CBool(valor(e, "ejecutando", false))) {
                const qint16 n = vb::CInt(valor(e, "segundos_intervalo", qint16(0)));
                progreso = QStringLiteral("segundos intervalo = ") + QString::number(n);
                if (n > 0) {
                    const double previsto = vb::CDbl(valor(e, "evento_timer_lanzado", qint16(0))) + n;
                    const QDate hoy = clock_seam::now().date();
                    const QDateTime fecha = vb::CDate(valor(e, "fecha", qint16(0)));
                    if (fecha.date() != hoy) {
                        progreso = QStringLiteral("Cambio de día");
                        e->Propiedad(QStringLiteral("evento_timer_lanzado"), basFuncionesComunes::Segundos());
                        e->Propiedad(QStringLiteral("fecha"), QDateTime(hoy, QTime(0, 0)));
                    } else if (basFuncionesComunes::Segundos() >= float(previsto)) {
                        progreso = QStringLiteral("Hay que lanzar función de callback");
                        e->Propiedad(QStringLiteral("evento_timer_lanzado"), basFuncionesComunes::Segundos());
                        e->Propiedad(QStringLiteral("fecha"), QDateTime(hoy, QTime(0, 0)));
                        e->Propiedad(QStringLiteral("ejecutando"), true);
                        enCurso = true;
                        const QString funcion = vb::CStr(valor(e, "funcion_callback", QString()));
                        if (!funcion.isEmpty()) {
                            progreso = QStringLiteral("Lanzar función de callback (") + funcion + QStringLiteral(")");
                            vb::LateBound* objeto = t.objetoCallbacks ? t.objetoCallbacks : SocketFront.get();
                            if (!objeto)
                                vb::Raise(vb::err::ObjectNotSet);
                            vb::CallByName(*objeto, funcion);
                            progreso = QStringLiteral("Función de callback finalizada");
                        }
                        e->Propiedad(QStringLiteral("ejecutar"), true);
                        e->Propiedad(QStringLiteral("ejecutando"), false);
                        enCurso = false;
                    }
                }
            }
        },
        [&](const VBError& err) {
            // A failed run is over: the context may run again at its next due time.
            if (enCurso && e)
                e->Propiedad(QStringLiteral("ejecutando"), false);
            ControlErrores(QStringLiteral("frmComSocket.TimerAsync_Timer (") + progreso + QStringLiteral(")"), true,
                           err);
        });
    if (m_temporizadores)
        m_temporizadores->descarga(Index);
}
