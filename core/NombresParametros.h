#pragma once
// The till's parameters (registry values and configtpv rows), one constant each, named exactly as the
// parameter. Each key carries what it reads as and what a till that lacks it gets, so every reader of
// a parameter reads it the same way: objParametros().lee(param::X).
//
//   Texto     the trimmed text
//   Numero    ValNumero of the text: its leading number, "" and words are 0, never an error
//   Entero    that number rounded half to even to a Long; out of range is error 6 (Overflow)
//   Entero16  the same to an Integer
//   Logico    CBool of the text: "True"/"False" or a number; anything else is error 13
//
// A key the till lacks ends the program after its message, as it always did; an ...Opcional key reads
// empty ("" or 0) instead: the settings only the newer parts read, which older tills never had.
// The scale's model and mode are optional too, where a missing one used to end the program: the
// scale driver reads them while it serves a request (GetPeso) or a tick, and a till without a scale
// must not be ended by a request; 0 is model 0 in request mode. Its interval is read by the start-up
// only (opening the port in continuous mode), so it stays required.
#include <QString>
#include <QtGlobal>

namespace param {

enum class SiFalta { TerminaPrograma, Vacio };

template <class V, SiFalta F = SiFalta::TerminaPrograma> struct Clave {
    using Valor = V;
    static constexpr SiFalta siFalta = F;
    const char* nombre;
};

using Texto = Clave<QString>;
using TextoOpcional = Clave<QString, SiFalta::Vacio>;
using Numero = Clave<double>;
using NumeroOpcional = Clave<double, SiFalta::Vacio>;
using Entero = Clave<qint32>;
using EnteroOpcional = Clave<qint32, SiFalta::Vacio>;
using Entero16 = Clave<qint16>;
using Logico = Clave<bool>;

inline constexpr Numero AnchoDatosCabeceraDRV{"AnchoDatosCabeceraDRV"};
inline constexpr Numero AnchoFacturadora{"AnchoFacturadora"};
inline constexpr Entero AnchoImpresoraCocina{"AnchoImpresoraCocina"};
inline constexpr Entero AnchoImpresoraTickets{"AnchoImpresoraTickets"};
inline constexpr NumeroOpcional BalanzaModoContinuo{"BalanzaModoContinuo"}; // the scale keys above
inline constexpr Entero BlancosCabecera{"BlancosCabecera"};
inline constexpr Numero BlancosCabeceraTicketCocina{"BlancosCabeceraTicketCocina"};
inline constexpr Numero BlancosPie{"BlancosPie"};
inline constexpr NumeroOpcional CentralizarClientes{"CentralizarClientes"};
inline constexpr Numero CodigosEscTicketCocina{"CodigosEscTicketCocina"};
inline constexpr Numero CodigosEscTicketNormal{"CodigosEscTicketNormal"};
inline constexpr Numero ConectarPantallasCocinaDirectasaTPV{"ConectarPantallasCocinaDirectasaTPV"};
inline constexpr Numero Cortar{"Cortar"};
inline constexpr Entero DelayFacturadora{"DelayFacturadora"};
inline constexpr Entero DelayImpresion{"DelayImpresion"};
inline constexpr Numero EmitirPito{"EmitirPito"};
inline constexpr Numero EmitirPitoOkiDispositivo{"EmitirPitoOkiDispositivo"};
inline constexpr Numero EmitirPitoOkiTiempoDelay{"EmitirPitoOkiTiempoDelay"};
inline constexpr Numero EmitirPitoOkiTiempoEngergia{"EmitirPitoOkiTiempoEngergia"};
inline constexpr Entero Empresa{"Empresa"};
inline constexpr Numero EspacioEntreLineas{"EspacioEntreLineas"};
inline constexpr Numero EspacioEntreLineasCocina{"EspacioEntreLineasCocina"};
inline constexpr Logico FacturadoraMostrarMensajePapel{"FacturadoraMostrarMensajePapel"};
inline constexpr Numero FuncFacturadora{"FuncFacturadora"};
inline constexpr Numero FuncionamientoItos{"FuncionamientoItos"};
inline constexpr EnteroOpcional FuncPizzeria{"FuncPizzeria"};
inline constexpr NumeroOpcional FuncRS6500{"FuncRS6500"};
inline constexpr Logico GrabarLogDetallado{"GrabarLogDetallado"};
inline constexpr Numero GrupoComandas{"GrupoComandas"};
inline constexpr Entero16 Idioma{"Idioma"};
inline constexpr Entero16 IdiomaSecundario{"IdiomaSecundario"};
inline constexpr Numero ImpArtInvTickCocina{"ImpArtInvTickCocina"};
inline constexpr Numero ImpArtsLetraGrandeCocina{"ImpArtsLetraGrandeCocina"};
inline constexpr Numero ImpArtsMayusculas{"ImpArtsMayusculas"};
inline constexpr Numero ImpCabTickCocinaFinal{"ImpCabTickCocinaFinal"};
inline constexpr Texto ImpCintaControl{"ImpCintaControl"};
inline constexpr Numero ImpCodigoMesasSalas{"ImpCodigoMesasSalas"};
inline constexpr Numero ImpDosCarTickGrandes{"ImpDosCarTickGrandes"};
inline constexpr Numero ImpLogoAntes{"ImpLogoAntes"};
inline constexpr Numero ImpLogoTicketCocina{"ImpLogoTicketCocina"};
inline constexpr Numero ImpMesaTickCocina{"ImpMesaTickCocina"};
inline constexpr Numero ImpMesaTickCocinaGrande{"ImpMesaTickCocinaGrande"};
inline constexpr Numero ImpNombreVendedor{"ImpNombreVendedor"};
inline constexpr Texto ImpresoraOPOS{"ImpresoraOPOS"};
inline constexpr Texto ImpresoraSecundaria{"ImpresoraSecundaria"};
inline constexpr Numero ImprimirAnulacionesRojo{"ImprimirAnulacionesRojo"};
inline constexpr Texto ImprimirClienteTicketCocina{"ImprimirClienteTicketCocina"};
inline constexpr Texto ImprimirMenusDiferenciado{"ImprimirMenusDiferenciado"};
inline constexpr Numero ImprimirNombreImpresoraTicketCocina{"ImprimirNombreImpresoraTicketCocina"};
inline constexpr Numero ImprimirObservacionesLetraGrande{"ImprimirObservacionesLetraGrande"};
inline constexpr Numero ImprimirObservacionesTicketCocina{"ImprimirObservacionesTicketCocina"};
inline constexpr Numero ImprimirSalaCocina{"ImprimirSalaCocina"};
inline constexpr Numero ImprimirSalaGrandeCocina{"ImprimirSalaGrandeCocina"};
inline constexpr Numero ImprimirTPVCocina{"ImprimirTPVCocina"};
inline constexpr Numero ImprimirVendedorTicketCocina{"ImprimirVendedorTicketCocina"};
inline constexpr Numero ImprImpSecundaria{"ImprImpSecundaria"};
inline constexpr Numero ImpSoloArtsLetraGrandeCocina{"ImpSoloArtsLetraGrandeCocina"};
inline constexpr Texto ImpTicket{"ImpTicket"};
inline constexpr NumeroOpcional InstanciasQuellmardenComandero{"InstanciasQuellmardenComandero"};
inline constexpr Numero InterlineadoImpresoraCocina{"InterlineadoImpresoraCocina"};
inline constexpr TextoOpcional IpAlternativaServidorCentral{"IpAlternativaServidorCentral"};
inline constexpr TextoOpcional IpCentral{"IpCentral"};
inline constexpr TextoOpcional IpServidor{"IpServidor"};
inline constexpr Numero LineasHorizontalesCocina{"LineasHorizontalesCocina"};
inline constexpr Numero LogoEnImpresora{"LogoEnImpresora"};
inline constexpr Entero LongMaxTexto{"LongMaxTexto"};
inline constexpr Numero MargenIzquierdoFacturadora{"MargenIzquierdoFacturadora"};
inline constexpr Numero MargenSuperiorCabeceraFacturadora{"MargenSuperiorCabeceraFacturadora"};
inline constexpr Numero MargenSuperiorClienteFacturadora{"MargenSuperiorClienteFacturadora"};
inline constexpr EnteroOpcional ModeloBalanza{"ModeloBalanza"}; // the scale keys above
inline constexpr Numero ModeloImpresoraTickets{"ModeloImpresoraTickets"};
inline constexpr Texto MysqlPassword{"MysqlPassword"};
inline constexpr Numero NoImpCodigoMesas{"NoImpCodigoMesas"};
inline constexpr Numero NoImprimirLogo{"NoImprimirLogo"};
inline constexpr TextoOpcional NombreBBDDServidor{"NombreBBDDServidor"};
inline constexpr Entero NumLineasAntesCortar{"NumLineasAntesCortar"};
inline constexpr Entero NumLinPagFacturadora{"NumLinPagFacturadora"};
inline constexpr EnteroOpcional PermitirEntradaPesoManual{"PermitirEntradaPesoManual"};
inline constexpr Logico PermitirVariosTPVSSimultaneamente{"PermitirVariosTPVSSimultaneamente"};
inline constexpr NumeroOpcional PosicionImporteDisplay{"PosicionImporteDisplay"};
inline constexpr TextoOpcional puerto_central{"puerto_central"};
inline constexpr Entero16 PuertoBalanza{"PuertoBalanza"};
inline constexpr Entero Restaurante{"Restaurante"};
inline constexpr TextoOpcional RutaBackOffice{"RutaBackOffice"};
inline constexpr Texto TextoCabeceraCocina{"TextoCabeceraCocina"};
inline constexpr Texto TextoCamarero{"TextoCamarero"};
inline constexpr Texto TextoDrovanto{"TextoDrovanto"};
inline constexpr Texto TextoIVA{"TextoIVA"};
inline constexpr Texto TextoMesa{"TextoMesa"};
inline constexpr TextoOpcional TextoSala{"TextoSala"};
inline constexpr TextoOpcional TextoTicket{"TextoTicket"};
inline constexpr Texto TextoVendedor{"TextoVendedor"};
inline constexpr Texto TicCocinaImprimirPaxs{"TicCocinaImprimirPaxs"};
inline constexpr Numero TicketGrande{"TicketGrande"};
inline constexpr Entero TiempoBalanzaModoContinuo{"TiempoBalanzaModoContinuo"};
inline constexpr Numero TieneImpresoraFisica{"TieneImpresoraFisica"};
inline constexpr TextoOpcional TieneMensajesTrigger{"TieneMensajesTrigger"};
inline constexpr NumeroOpcional TipoFuncionamientoBalanza{"TipoFuncionamientoBalanza"};
inline constexpr Numero TipoImpresionFacturadora{"TipoImpresionFacturadora"};
inline constexpr Numero TipoImpresionNegritaArticulosTicketCocina{"TipoImpresionNegritaArticulosTicketCocina"};
inline constexpr Entero TipoLetraCocina{"TipoLetraCocina"};
inline constexpr Entero TipoLetraTickets{"TipoLetraTickets"};
inline constexpr Entero16 TPV{"TPV"};
inline constexpr Numero UsarBalanza{"UsarBalanza"};
inline constexpr Numero UsarDriverOPOS{"UsarDriverOPOS"};
inline constexpr Logico UsarImpDRVSiempre{"UsarImpDRVSiempre"};
inline constexpr Texto UsuarioMysql{"UsuarioMysql"};
inline constexpr Texto VendedorTicketOLinea{"VendedorTicketOLinea"};

} // namespace param
