#pragma once
// frmComInternet: the program's client of the back-office web server. One window carries one HTTP
// request at a time, from the send to the reader that the caller chose by TipoResultado (0 delimited
// text into Datos, 1 sync text into Variables and table imports, 2 XML into Datos, 3 raw text left in
// Resultado); every request ends exactly once with ProcesoTerminado: read, failed (blnError) or timed
// out ("Error de tiempo de espera"). The client has no widgets: its window (progress, the reply's text,
// cancel and retry) is the one the upper layer registers (ComInternetWindowPort.h), shown only while a
// modal service waits on it; without one a request runs unseen.
//
//     frmComInternet w;
//     coleccionTextos consultas;
//     consultas.Add("articulos", "select * from articulos");
//     w.Servicio_sql_Importar("backoffice.local", consultas); // asynchronous: wait for ProcesoTerminado
//
// Replies of modes 0 and 1 go through a file under tmp/ beside the program (UTF-16LE with BOM),
// deleted once read. Bodies are form-encoded: each value percent-encoded from its Windows-1252 bytes.
#include "backoffice/ComInternetWindowPort.h"
#include "backoffice/DRDatos.h"
#include "backoffice/accesoDatos.h"
#include "platform/Collections.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

class frmComInternet final : public QObject {
    Q_OBJECT
public:
    explicit frmComInternet(QObject* parent = nullptr);
    ~frmComInternet() override;

    // The reading modes of a reply (TipoResultado).
    enum ModoLectura : qint32 {
        LecturaDelimitada = 0,     // delimited text into Datos
        LecturaSincronizacion = 1, // sync text into Variables and the tables
        LecturaXML = 2,            // XML into Datos
        LecturaSinLector = 3       // the raw text, left in Resultado
    };
    // The transfer's states, numbered as the Internet Transfer control numbered them.
    enum StateConstants : int {
        icNone = 0,
        icResolvingHost = 1,
        icHostResolved = 2,
        icConnecting = 3,
        icConnected = 4,
        icRequesting = 5,
        icRequestSent = 6,
        icReceivingResponse = 7,
        icResponseReceived = 8,
        icDisconnecting = 9,
        icDisconnected = 10,
        icError = 11,
        icResponseCompleted = 12
    };

    QString Resultado;            // the reply text; "Error de tiempo de espera"; "Error de conexión..."
    bool blnOk = false;           // the reply is complete and read
    bool blnError = false;        // connection error, HTTP error, reader failure or server errors
    coleccionTextos& Variables(); // named values of sync-text replies; kept across requests
    vb::Collection& colComandosSQL_AntesImportar(); // SQL texts run before a sync-text reply's tables
    vb::EntidadPtr eResponseObservable;             // held for the caller
    QString identificador_request;                  // held for the caller
    vb::EntidadPtr eRequest;                        // held for the caller
    QString SeparadorColumnas;
    qint32 TipoResultado = LecturaDelimitada;
    vb::ColeccionPtr Datos; // rows of a delimited or XML reply (emptied when a request starts)
    std::shared_ptr<coleccionColumnas> Columnas;
    bool blnPrimeraLinea_tiene_datos_NoDefColumnas = false;
    // 0 means 20; the watchdog fires one second later. A negative value (or not a number) also means
    // 20, one above kSegundosTimeOutMax is that.
    double SegundosTimeOut = 0;
    static constexpr double kSegundosTimeOutMax = 86400;
    bool Ocupado = false;

    accesoDatos& da(); // over ConexionServidor, made on first use
    // The registered window; null when none is.
    ComInternetWindowPort* ventana() const { return m_ventana.get(); }

    void AbreURL(const QString& URL, const QString& strDatosEnviar, qint32 TipoResultado, const QString& strHeader,
                 const QString& TipoOperacion);

    // Service requests to the back-office server.
    void Servicio_sql_Importar(const QString& IP, coleccionTextos& pConsultas);
    void Servicio_sql_Exportar(const QString& IP, coleccionTextos& pConsultas);
    Variant Servicio_ConsultaSQL(const QString& strConsultaSql, const QString& strIP_Servidor = {});
    void PromocionesCliente(qint32 lngCliente, bool SoloPromocionesVigentes);
    // Message services: shown modally until the request ends; true only for a reply judged a success.
    bool Servicio_Drovanto(const QString& strURL, QString& strMensajeRespuesta, vb::ColeccionPtr& Resultado,
                           const QString& strDatosEnviar, const QString& strSeparadorColumnas);
    bool Servicio_Drovanto_RespuestaXML(const QString& strURL, QString& strMensajeRespuestaUsuario,
                                        vb::ColeccionPtr& Resultado, const QString& strDatosEnviar);

    // Readers; each ends the request (ProcesoTerminado), as failed when it cannot read the reply.
    void ProcesaTextoRecibido(const QString& strArchivoTexto);
    void ProcesaTexto_to_coleccionGenerica(const QString& strArchivoTexto);
    void ProcesaXML(const QString& strXML);
    static vb::EntidadPtr XMLtoEntidad(const QString& strXML);

    // A value for a form body: percent-encoded from its Windows-1252 bytes. A character that the code
    // page lacks goes as "?", with a log line naming the field.
    static QString CodificaValor(const QString& valor, const QString& campo);
    // A reply's text: by its leading byte-order mark; else by the charset of its Content-Type; else, for
    // an XML document, by the encoding of its declaration; else as Windows-1252.
    static QString TextoRespuesta(const QByteArray& bytes, const QString& contentType);
    // The server address from the configuration (IpAlternativaServidorCentral, else IpCentral, with
    // ":" puerto_central when set); "" when none.
    static QString DireccionServidorCentral();

    // The window's buttons. Cancel drops the transfer and hides the window, without an end; retry
    // sends the stored request again.
    void btnCancelar_Click();
    void btnReintentar_Click();

signals:
    void ProcesoTerminado();

private:
    QTimer* Timer1 = nullptr; // the request watchdog

    void EjecutaPeticion();
    void Inet1_StateChanged(int State);
    // Shows each state after the last one shown up to `hasta`: a state Qt passes without a word shows
    // when the next one comes.
    void avanza(int hasta);
    void onReplyFinished();
    void Timer1_Timer();
    void procesaRespuesta();
    QString guardaRespuesta();
    void abandonaTransferencia();
    void esperaTransferenciaEnCurso();
    qint64 limiteEsperaMs() const; // the watchdog's time and a second more
    void estado(const QString& texto);
    void oculta();
    void preparaServicio(qint32 tipo, bool primeraLineaDatos, const QString& separador);
    void importaRespuesta(const coleccionTextos& tablas);
    void terminaLectura(const QString& textoEstado);
    void terminaFallida();
    void lecturaFallida(const QString& archivo); // the file goes, the request ends as failed
    void esperaModal();
    static void avisaSinCp1252(const QString& texto, const QString& campo);
    // Sends a message request in the prepared mode and waits modally; the first row of the reply.
    vb::EntidadPtr enviaMensaje(const QString& url, const QString& cuerpo, vb::ColeccionPtr& Resultado);

    QNetworkAccessManager* m_inet = nullptr;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_bytes;            // the reply as it arrives
    int m_estadoMostrado = icNone; // the transfer's last state shown
    struct Peticion {
        QString url, cuerpo, cabecera, metodo;
    } m_peticion;
    std::unique_ptr<coleccionTextos> m_variables;
    std::shared_ptr<vb::Collection> m_comandosAntes;
    std::unique_ptr<accesoDatos> m_da;
    std::unique_ptr<ComInternetWindowPort> m_ventana;
};
