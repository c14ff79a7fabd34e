-- Tarvolin demo data: company 1, restaurant 1, till (TPV) 1, loaded after schema.sql.
--
-- Settings. The service takes the till's rows of `configtpv` over its registry values at start;
-- every parameter the service asks for must exist, so each one has a row here.
--
-- Held only in the registry key HKEY_CURRENT_USER\SOFTWARE\Vesk\Tarvolin, written by the
-- configuration dialog, never loaded from configtpv (a row would be ignored):
--   IPSERVIDOR, ORIGENIMAGEN, FECHAACTUAL, SESIONACTUAL, MYSQLPASSWORD, MYSQLSERVIDORPASSWORD,
--   SQLSERVER2005, SQLSERVEREXPRESSNOMBREINSTANCIA, SQLSERVERPASSWORD, SQLSERVERUSER
-- Read straight from the registry by the connection (not through the parameter store):
--   IpServidor, NombreBBDDServidor
-- Base settings of the registry that the rows below repeat with the same values:
--   Empresa, Restaurante, TPV, UsuarioMysql
-- For this demo the registry holds: IpServidor=127.0.0.1;PORT=<port>, NombreBBDDServidor=Drovanto,
-- UsuarioMysql=root, MysqlPassword=0 (no password), Empresa=1, Restaurante=1, TPV=1.

SET NAMES utf8mb4;

INSERT INTO configtpv (empresa, restaurante, tpv, clave, valor) VALUES
-- identity and start-up
(1, 1, 1, 'Empresa', '1'),
(1, 1, 1, 'Restaurante', '1'),
(1, 1, 1, 'TPV', '1'),
(1, 1, 1, 'UsuarioMysql', 'root'),
(1, 1, 1, 'GrabarLogDetallado', '0'),
(1, 1, 1, 'PermitirVariosTPVSSimultaneamente', '0'),
(1, 1, 1, 'InstanciasQuellmardenComandero', '1'),
-- language and the words that replace the standard ones (empty: keep them)
(1, 1, 1, 'Idioma', '1'),
(1, 1, 1, 'IdiomaSecundario', '0'),
(1, 1, 1, 'TextoIVA', ''),
(1, 1, 1, 'TextoCamarero', ''),
(1, 1, 1, 'TextoMesa', ''),
(1, 1, 1, 'TextoVendedor', ''),
(1, 1, 1, 'TextoDrovanto', ''),
(1, 1, 1, 'TextoTicket', ''),
(1, 1, 1, 'TextoSala', ''),
-- scale
(1, 1, 1, 'UsarBalanza', '0'),
(1, 1, 1, 'PuertoBalanza', '1'),
(1, 1, 1, 'ModeloBalanza', '0'),
(1, 1, 1, 'BalanzaModoContinuo', '0'),
(1, 1, 1, 'TiempoBalanzaModoContinuo', '500'),
(1, 1, 1, 'TipoFuncionamientoBalanza', '0'),
(1, 1, 1, 'PermitirEntradaPesoManual', '1'),
(1, 1, 1, 'PosicionImporteDisplay', '0'),
(1, 1, 1, 'FuncPizzeria', '0'),
-- kitchen ticket: header
(1, 1, 1, 'TieneImpresoraFisica', '1'),
(1, 1, 1, 'EspacioEntreLineasCocina', '30'),
(1, 1, 1, 'ImprimirAnulacionesRojo', '0'),
(1, 1, 1, 'CodigosEscTicketCocina', '1'),
(1, 1, 1, 'TipoLetraCocina', '0'),
(1, 1, 1, 'BlancosCabecera', '0'),
(1, 1, 1, 'BlancosCabeceraTicketCocina', '1'),
(1, 1, 1, 'ImpDosCarTickGrandes', '2'),
(1, 1, 1, 'GrupoComandas', '1'),
(1, 1, 1, 'ConectarPantallasCocinaDirectasaTPV', '0'),
(1, 1, 1, 'ImprimirNombreImpresoraTicketCocina', '0'),
(1, 1, 1, 'ImpLogoTicketCocina', '0'),
(1, 1, 1, 'TextoCabeceraCocina', 'COCINA'),
(1, 1, 1, 'ImprimirVendedorTicketCocina', '1'),
(1, 1, 1, 'VendedorTicketOLinea', 'T'),
(1, 1, 1, 'ImpNombreVendedor', '1'),
(1, 1, 1, 'ImpMesaTickCocina', '1'),
(1, 1, 1, 'ImpMesaTickCocinaGrande', '1'),
(1, 1, 1, 'NoImpCodigoMesas', '0'),
(1, 1, 1, 'ImpCodigoMesasSalas', '0'),
(1, 1, 1, 'LineasHorizontalesCocina', '0'),
(1, 1, 1, 'ImpCabTickCocinaFinal', '0'),
(1, 1, 1, 'TicketGrande', '0'),
(1, 1, 1, 'ImprimirTPVCocina', '1'),
(1, 1, 1, 'ImprimirSalaCocina', '1'),
(1, 1, 1, 'ImprimirSalaGrandeCocina', '0'),
(1, 1, 1, 'TicCocinaImprimirPaxs', '1'),
(1, 1, 1, 'ImprimirClienteTicketCocina', '0'),
(1, 1, 1, 'ImpArtInvTickCocina', '0'),
-- kitchen ticket: article lines
(1, 1, 1, 'InterlineadoImpresoraCocina', '0'),
(1, 1, 1, 'TipoImpresionNegritaArticulosTicketCocina', '0'),
(1, 1, 1, 'ImprimirMenusDiferenciado', '0'),
(1, 1, 1, 'ImpSoloArtsLetraGrandeCocina', '0'),
(1, 1, 1, 'ImpArtsLetraGrandeCocina', '1'),
(1, 1, 1, 'ImpArtsMayusculas', '0'),
-- kitchen ticket: foot
(1, 1, 1, 'ImprimirObservacionesTicketCocina', '1'),
(1, 1, 1, 'ImprimirObservacionesLetraGrande', '0'),
(1, 1, 1, 'EmitirPito', '0'),
(1, 1, 1, 'EmitirPitoOkiDispositivo', '1'),
(1, 1, 1, 'EmitirPitoOkiTiempoEngergia', '2'),
(1, 1, 1, 'EmitirPitoOkiTiempoDelay', '2'),
(1, 1, 1, 'BlancosPie', '2'),
-- printer output
(1, 1, 1, 'ImpTicket', 'TICKETS'),
(1, 1, 1, 'LongMaxTexto', '0'),
(1, 1, 1, 'FuncionamientoItos', '0'),
(1, 1, 1, 'FuncFacturadora', '0'),
(1, 1, 1, 'ImprImpSecundaria', '0'),
(1, 1, 1, 'ImpresoraSecundaria', ''),
(1, 1, 1, 'ImpCintaControl', ''),
(1, 1, 1, 'UsarDriverOPOS', '0'),
(1, 1, 1, 'ImpresoraOPOS', ''),
(1, 1, 1, 'DelayFacturadora', '0'),
(1, 1, 1, 'DelayImpresion', '0'),
-- printer codes, fonts and widths
(1, 1, 1, 'CodigosEscTicketNormal', '1'),
(1, 1, 1, 'EspacioEntreLineas', '30'),
(1, 1, 1, 'TipoLetraTickets', '0'),
(1, 1, 1, 'AnchoImpresoraCocina', '0'),
(1, 1, 1, 'AnchoImpresoraTickets', '0'),
(1, 1, 1, 'UsarImpDRVSiempre', '0'),
(1, 1, 1, 'AnchoDatosCabeceraDRV', '0'),
-- cut and logo
(1, 1, 1, 'NumLineasAntesCortar', '4'),
(1, 1, 1, 'Cortar', '1'),
(1, 1, 1, 'ImpLogoAntes', '0'),
(1, 1, 1, 'LogoEnImpresora', '0'),
(1, 1, 1, 'NoImprimirLogo', '1'),
(1, 1, 1, 'ModeloImpresoraTickets', '0'),
-- invoice printer (not used here)
(1, 1, 1, 'NumLinPagFacturadora', '0'),
(1, 1, 1, 'AnchoFacturadora', '40'),
(1, 1, 1, 'MargenIzquierdoFacturadora', '0'),
(1, 1, 1, 'MargenSuperiorClienteFacturadora', '0'),
(1, 1, 1, 'MargenSuperiorCabeceraFacturadora', '0'),
(1, 1, 1, 'TipoImpresionFacturadora', '0'),
(1, 1, 1, 'FacturadoraMostrarMensajePapel', '0'),
-- keypad, trigger rules, back office
(1, 1, 1, 'FuncRS6500', '0'),
(1, 1, 1, 'TieneMensajesTrigger', '0'),
(1, 1, 1, 'CentralizarClientes', '0'),
(1, 1, 1, 'RutaBackOffice', ''),
(1, 1, 1, 'IpAlternativaServidorCentral', ''),
(1, 1, 1, 'IpCentral', ''),
(1, 1, 1, 'puerto_central', '');

INSERT INTO maetpv (empresa, restaurante, codigo, nombre) VALUES
(1, 1, 1, 'TPV Barra'),
(1, 1, 2, 'TPV Terraza');

INSERT INTO maeimp (empresa, restaurante, codigo, nombre, impresora) VALUES
(1, 1, 1, 'Cocina', 'TICKETS'),
(1, 1, 2, 'Barra', 'TICKETS');

INSERT INTO maesal (empresa, restaurante, sala, nombre) VALUES
(1, 1, 1, 'Comedor'),
(1, 1, 2, 'Terraza');

INSERT INTO maemes (empresa, restaurante, sala, mesa, nombre) VALUES
(1, 1, 1, 1, 'Mesa 1'),
(1, 1, 1, 2, 'Mesa 2'),
(1, 1, 1, 3, 'Mesa 3'),
(1, 1, 1, 4, 'Mesa 4'),
(1, 1, 1, 5, 'Ventana'),
(1, 1, 1, 6, 'Reservado'),
(1, 1, 2, 1, 'T1'),
(1, 1, 2, 2, 'T2'),
(1, 1, 2, 3, 'T3'),
(1, 1, 2, 4, 'T4');

INSERT INTO maecam (empresa, restaurante, codigo, usuario, nombre) VALUES
(1, 1, 1, 'ANA', 'Ana García'),
(1, 1, 2, 'LUIS', 'Luis Martínez'),
(1, 1, 3, 'NURIA', 'Núria Puig');

INSERT INTO Camareros (idCamarero, Descripcion) VALUES
(1, 'Ana García'),
(2, 'Luis Martínez'),
(3, 'Núria Puig');

INSERT INTO maepv (empresa, restaurante, codigo, nombre, asign_emp, asign_rest) VALUES
(1, 1, 1, 'Comedor', 1, 1),
(1, 1, 2, 'Terraza', 1, 1),
(1, 1, 3, 'Barra', 1, 1),
(1, 1, 4, 'Para llevar', 1, 1);

INSERT INTO maeven (empresa, vendedor, nombre) VALUES
(1, 1, 'Marta López');

-- Two open tickets of till 1: table 3 of the dining room, and a take-away order (table 9997).
INSERT INTO qm_cabticket (idEmpresa, idRestaurante, idTPV, idTicket, Fecha, hora, idMesa, idSala, idCamarero,
                          idPV, idVendedor, DescTicket, paxs, SerieTicket, NumTicketFormateado) VALUES
(1, 1, 1, 101, CURDATE(), '13:45:00', 3, 1, 1, 1, 1, '', 4, '', '001-000000101'),
(1, 1, 1, 102, CURDATE(), '14:05:00', 9997, 0, 2, 4, 1, 'Recoger 14:30 - Sr. Pérez', 1, '', '001-000000102');

INSERT INTO qm_cabticket_observ (idEmpresa, idRestaurante, idTPV, idTicket, observ_preparacion, Observ) VALUES
(1, 1, 1, 101, 'Entrecot al punto, sin sal', 'Cliente celíaco: sin gluten'),
(1, 1, 1, 102, 'Pizza bien hecha', 'Añadir cubiertos y servilletas');

-- Printed-ticket header (idOrden 1 to 6) and foot (above 6), language 0.
INSERT INTO configticket (idEmpresa, idRestaurante, idioma, idOrden, Texto) VALUES
(1, 1, 0, 1, 'RESTAURANTE EL PUERTO'),
(1, 1, 0, 2, 'C/ Mayor, 12 - 28013 Madrid'),
(1, 1, 0, 3, 'NIF B12345678 - Tel. 910 000 000'),
(1, 1, 0, 7, '¡Gracias por su visita!'),
(1, 1, 0, 8, '');

-- A second language (2, Catalan) for the fixed texts.
INSERT INTO idiomas_literales (idioma, texto_original, texto_mostrar) VALUES
(2, 'Mesa:', 'Taula:'),
(2, 'Sala:', 'Sala:'),
(2, 'Camarero apertura mesa:', 'Cambrer obertura taula:');

INSERT INTO idiomes (idioma, `text`, traduccion) VALUES
(2, 'Impreso desde:', 'Imprès des de:'),
(2, 'Núm.', 'Núm.'),
(2, 'Vendedor: ', 'Venedor: ');

-- Point-of-sale side of ticket 101 (re-weigh and trigger rules).
INSERT INTO articulo_generico (idArticuloGenerico, descripcion, peso) VALUES
(10, 'Entrecot de ternera', 'S'),
(11, 'Pizza margarita', 'N'),
(12, 'Agua mineral', 'N');

INSERT INTO tarifas (idArticulo, tarifa, precio) VALUES
(10, 1, 38.0000),
(11, 1, 11.5000),
(12, 1, 2.2000);

INSERT INTO maecli (empresa, Codigo, nombre, vip) VALUES
(1, 500, 'Carmen Ruiz', 1);

INSERT INTO vip (empresa, codigo, punt_disp, punt_gast, punt_gana) VALUES
(1, 1, 120.00, 30.00, 150.00);

INSERT INTO cabticket (idTPV, idTicket, idCliente, Dto) VALUES
(1, 101, 500, 0),
(1, 102, NULL, 0);

INSERT INTO linticket (idTPV, idTicket, idLinea, idArticulo, cantidad, peso, precio, PrecioUnitario, PrecioOriginal,
                       Tarifa, ImporteConIva, PrBasCombi, marca, iva) VALUES
(1, 101, 1, 10, 1, 0.450, 17.1000, 38.0000, 38.0000, 1, 18.8100, 18.8100, 0, 10),
(1, 101, 2, 12, 2, NULL, 2.2000, 2.2000, 2.2000, 1, 4.8400, 4.8400, 0, 10),
(1, 102, 1, 11, 1, NULL, 11.5000, 11.5000, 11.5000, 1, 12.6500, 12.6500, 0, 10);
