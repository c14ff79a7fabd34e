#include "ui/frmRecalcularPeso.h"

#include "controls/Twips.h"
#include "controls/ctrBoton.h"
#include "core/VentanasCargadas.h"
#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "core/basLegacyFunctions.h"
#include "core/clsParametros.h"
#include "platform/Program.h"
#include "platform/Prompts.h"
#include "printing/basPrinter.h"
#include "scale/clsComm.h"
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QLocale>

using namespace basFuncionesComunes;

namespace {

QString T(const QString& texto) {
    return TraduceLiteral(texto);
}

QLabel* Etiqueta(QWidget* padre, const QString& texto, const QRect& donde, const QString& fuente, int puntos,
                 bool negrita, Qt::Alignment alineacion) {
    auto* l = new QLabel(texto, padre);
    QFont f(fuente);
    f.setPointSizeF(puntos);
    f.setBold(negrita);
    l->setFont(f);
    l->setGeometry(donde);
    l->setAlignment(alineacion | Qt::AlignVCenter);
    return l;
}

const char* const kFormulario = "frmRecalcularPeso";

} // namespace

frmRecalcularPeso::frmRecalcularPeso(clsComm& comm, QWidget* parent) : QDialog(parent), m_comm(comm) {
    ventanas::cargada(this, QStringLiteral("frmRecalcularPeso"));
    setObjectName(QString::fromLatin1(kFormulario));
    setWindowTitle(QStringLiteral("Recalcular Peso"));
    setModal(true);
    setFixedSize(twips::size(6000, 4200));

    lblDescripcionArticulo =
        Etiqueta(this, QString(), twips::rect(240, 180, 5520, 480), QStringLiteral("Verdana"), 12, true, Qt::AlignLeft);
    lblDescripcionArticulo->setObjectName(QStringLiteral("lblDescripcionArticulo"));

    // The display: light figures on a dark panel behind the three values.
    imgVisor = new QFrame(this);
    imgVisor->setObjectName(QStringLiteral("imgVisor"));
    imgVisor->setGeometry(twips::rect(240, 780, 5520, 2280));
    imgVisor->setFrameShape(QFrame::Panel);
    imgVisor->setFrameShadow(QFrame::Sunken);
    imgVisor->setLineWidth(3);
    imgVisor->setAutoFillBackground(true);
    QPalette pal = imgVisor->palette();
    pal.setColor(QPalette::Window, QColor(16, 24, 16));
    pal.setColor(QPalette::WindowText, QColor(0, 255, 255));
    imgVisor->setPalette(pal);

    const QStringList rotulos{QStringLiteral("Peso:"), QStringLiteral("Precio:"), QStringLiteral("Importe:")};
    QLabel** valores[] = {&lblPeso, &lblPrecio, &lblImporte};
    const char* nombres[] = {"lblPeso", "lblPrecio", "lblImporte"};
    for (int i = 0; i < 3; ++i) {
        const int top = 180 + i * 690;
        Etiqueta(imgVisor, rotulos[i], twips::rect(180, top, 1800, 600), QStringLiteral("Arial"), 16, true,
                 Qt::AlignLeft);
        *valores[i] = Etiqueta(imgVisor, QString(), twips::rect(1980, top, 3300, 600), QStringLiteral("Arial"), 20,
                               true, Qt::AlignRight);
        (*valores[i])->setObjectName(QString::fromLatin1(nombres[i]));
    }

    ctrAceptar = new ctrBoton(this);
    ctrAceptar->setObjectName(QStringLiteral("ctrAceptar"));
    ctrAceptar->setCaption(QStringLiteral("Aceptar"));
    ctrAceptar->setStretch(true);
    ctrAceptar->setGeometry(twips::rect(840, 3300, 1800, 600));
    ctrCancelar = new ctrBoton(this);
    ctrCancelar->setObjectName(QStringLiteral("ctrCancelar"));
    ctrCancelar->setCaption(QStringLiteral("Cancelar"));
    ctrCancelar->setStretch(true);
    ctrCancelar->setGeometry(twips::rect(3360, 3300, 1800, 600));
    connect(ctrAceptar, &ctrBoton::Click, this, &frmRecalcularPeso::ctrAceptar_Click);
    connect(ctrCancelar, &ctrBoton::Click, this, &frmRecalcularPeso::ctrCancelar_Click);

    // Weigh-first mode: the weight must be accepted, so there is no cancel button.
    vb::ResumeNext([&] {
        if (objParametros().lee(param::TipoFuncionamientoBalanza) == 1) {
            ctrCancelar->hide();
            ctrAceptar->move(ctrCancelar->x(), ctrAceptar->y());
        }
    });
    RefrescaVisor();
}

frmRecalcularPeso::~frmRecalcularPeso() = default;

void frmRecalcularPeso::setArticulo(qint32 lngArticulo) {
    vb::OnError(
        [&] {
            m_lngArticulo = lngArticulo;
            ado::RecordsetPtr rs = ConexionLocal().OpenRecordset(
                QStringLiteral("select descripcion from articulo_generico where idArticuloGenerico=?"),
                {Variant(lngArticulo)});
            if (!rs->isEOF()) {
                m_strDescripcion =
                    vb::Trim(VarToStr(rs->Fields(QStringLiteral("descripcion")).Value, QString()).toString());
                lblDescripcionArticulo->setText(m_strDescripcion + QLatin1Char(':'));
            }
            rs->Close();
        },
        [](const VBError& e) { MensajeUsuario(QStringLiteral("frmRecalcularPeso.Articulo: ") + e.description()); });
}

void frmRecalcularPeso::setPrecio(double dblPrecio) {
    m_dblPrecio = dblPrecio;
    m_dblImporte = Redondear(m_dblPeso * m_dblPrecio, 2);
    RefrescaVisor();
}

void frmRecalcularPeso::setPeso(double dblPeso) {
    vb::OnError(
        [&] {
            m_dblPeso = dblPeso;
            m_dblImporte = Redondear(m_dblPeso * m_dblPrecio, 2);
            RefrescaVisor();
        },
        [](const VBError& e) { MensajeUsuario(QStringLiteral("frmRecalcularPeso.Peso: ") + e.description()); });
}

void frmRecalcularPeso::RefrescaVisor() {
    const QString mascara = MascaraDecimales(-1);
    lblPeso->setText(FormatoRegional(m_dblPeso, QStringLiteral("#0.000")) + QStringLiteral("KG"));
    lblPrecio->setText(FormatoRegional(m_dblPrecio, mascara) + QString(QChar(0x20AC)));
    lblImporte->setText(FormatoRegional(m_dblImporte, mascara) + QString(QChar(0x20AC)));
    basPrinter::ProcedimientoVacio(m_strDescripcion, m_dblImporte, 1, m_dblPeso, true, false);
}

bool frmRecalcularPeso::RefrescaDatos(qint32 tpv, qint32 ticket, qint32 linea) {
    lngTPV = tpv;
    lngTicket = ticket;
    lngLinea = linea;
    const std::optional<LineaTicketPeso> l = LeeLineaTicketPeso(tpv, ticket, linea);
    if (!l)
        return false;
    setArticulo(vb::CLng(l->idArticulo));
    setPrecio(l->precio);
    m_dblCantidad = l->cantidad;
    return true;
}

bool frmRecalcularPeso::MostrarModal() {
    blnOk = false;
    prompts::registerForm(QString::fromLatin1(kFormulario), [this] {
        exec();
        return blnOk ? 1 : 0;
    });
    struct Fin {
        ~Fin() { prompts::registerForm(QString::fromLatin1(kFormulario), nullptr); }
    } fin;
    prompts::current().showForm(QString::fromLatin1(kFormulario));
    return blnOk;
}

void frmRecalcularPeso::ctrAceptar_Click() {
    const bool continuo = objParametros().lee(param::BalanzaModoContinuo) == 1;
    bool manual = false;
    if (continuo && !mainWindow().scaleTimerEnabled()) {
        const int r =
            MensajeUsuario(T(QStringLiteral("No es posible comunicar con la balanza. Compruebe que la balanza "
                                            "está encendida y conectada al TPV e inténtelo de nuevo, por "
                                            "favor...")),
                           prompts::vbYesNo | prompts::vbExclamation);
        if (r == prompts::vbYes)
            return;
        manual = true;
    }
    if (manual) {
        // A weight out of range leaves the window open with the weight it had.
        const std::optional<double> valor = m_comm.PidePesoTeclado(
            T(QStringLiteral("Introduzca el Peso")) + QString(8, QLatin1Char(' ')) + T(QStringLiteral("(en Kg.)")),
            QStringLiteral("1"));
        if (!valor)
            return;
        setPeso(*valor);
    } else {
        // In request mode nothing keeps the weight up to date: ask the scale now.
        if (!continuo && m_comm.Activado()) {
            if (const auto peso = m_comm.LeePesoPorPeticion())
                setPeso(*peso);
            else
                setPeso(0);
        }
        if (m_dblPeso <= 0) {
            MensajeUsuario(QStringLiteral("Debe pesar el artículo para continuar."), prompts::vbExclamation);
            return;
        }
        if (continuo && !m_comm.blnPesoEstable) {
            MensajeUsuario(QStringLiteral("Espere a que el peso se establice, por favor..."), prompts::vbInformation);
            return;
        }
    }
    m_dblImporte = Redondear(m_dblPrecio * m_dblPeso, 2);
    blnOk = true;
    done(QDialog::Accepted);
}

void frmRecalcularPeso::ctrCancelar_Click() {
    blnOk = false;
    done(QDialog::Rejected);
}
