-- Tarvolin database: the tables the print service reads and writes in the point-of-sale database.
-- Loaded into an empty database (utf8mb4, InnoDB). Columns carry the spelling the statements use;
-- MariaDB matches column names without regard to case.

SET NAMES utf8mb4;
SET default_storage_engine = InnoDB;

-- Per-till settings. `clave` compares without regard to case (the local-only keys are excluded
-- by name in the load statement).
CREATE TABLE configtpv (
    empresa     INT          NOT NULL,
    restaurante INT          NOT NULL,
    tpv         INT          NOT NULL,
    clave       VARCHAR(100) NOT NULL,
    valor       TEXT         NULL,
    PRIMARY KEY (empresa, restaurante, tpv, clave)
) DEFAULT CHARSET = utf8mb4 COLLATE = utf8mb4_general_ci;

-- Installation-wide settings.
CREATE TABLE config (
    clave VARCHAR(100) NOT NULL,
    valor TEXT         NULL,
    PRIMARY KEY (clave)
) DEFAULT CHARSET = utf8mb4 COLLATE = utf8mb4_general_ci;

-- Translations looked up per text ("text like '...'").
CREATE TABLE idiomes (
    idioma     INT          NOT NULL,
    `text`     VARCHAR(255) NOT NULL,
    traduccion TEXT         NULL,
    PRIMARY KEY (idioma, `text`)
) DEFAULT CHARSET = utf8mb4 COLLATE = utf8mb4_general_ci;

-- Literals loaded at start; duplicates allowed (the first one read wins).
CREATE TABLE idiomas_literales (
    id             INT          NOT NULL AUTO_INCREMENT,
    idioma         INT          NOT NULL,
    texto_original VARCHAR(255) NOT NULL,
    texto_mostrar  TEXT         NULL,
    PRIMARY KEY (id),
    KEY ix_idiomas_literales (idioma, texto_original)
) DEFAULT CHARSET = utf8mb4 COLLATE = utf8mb4_general_ci;

-- Log rows written by the service (and by the tills).
CREATE TABLE qm_log (
    idLog         BIGINT   NOT NULL AUTO_INCREMENT,
    idEmpresa     INT      NOT NULL DEFAULT 0,
    idRestaurante INT      NOT NULL DEFAULT 0,
    idTPV         INT      NOT NULL DEFAULT 0,
    Fecha         DATETIME NULL,
    FechaSesion   INT      NULL,
    idSesion      INT      NULL,
    Camarero      INT      NULL,
    Concepto      TEXT     NULL,
    PRIMARY KEY (idLog),
    KEY ix_qm_log_fecha (idEmpresa, idRestaurante, Fecha)
) DEFAULT CHARSET = utf8mb4 COLLATE = utf8mb4_general_ci;

-- Open tickets as the kitchen sees them.
CREATE TABLE qm_cabticket (
    idEmpresa           INT          NOT NULL,
    idRestaurante       INT          NOT NULL,
    idTPV               INT          NOT NULL,
    idTicket            INT          NOT NULL,
    Fecha               DATE         NULL,
    hora                TIME         NULL,
    idMesa              INT          NULL,
    idSala              INT          NULL,
    idCamarero          INT          NULL,
    idPV                INT          NULL,
    idVendedor          INT          NULL,
    DescTicket          VARCHAR(100) NOT NULL DEFAULT '',
    paxs                INT          NULL,
    SerieTicket         VARCHAR(10)  NOT NULL DEFAULT '',
    NumTicketFormateado VARCHAR(30)  NULL,
    PRIMARY KEY (idEmpresa, idRestaurante, idTPV, idTicket)
) DEFAULT CHARSET = utf8mb4 COLLATE = utf8mb4_general_ci;

CREATE TABLE qm_cabticket_observ (
    idEmpresa          INT  NOT NULL,
    idRestaurante      INT  NOT NULL,
    idTPV              INT  NOT NULL,
    idTicket           INT  NOT NULL,
    observ_preparacion TEXT NULL,
    Observ             TEXT NULL,
    PRIMARY KEY (idEmpresa, idRestaurante, idTPV, idTicket)
) DEFAULT CHARSET = utf8mb4 COLLATE = utf8mb4_general_ci;

-- Kitchen command numbers. A number belongs to one ticket: a second insert of the same number in
-- the same group fails with "Duplicate entry" and the allocator moves on to the next one.
CREATE TABLE qm_imppantalla (
    id              BIGINT NOT NULL AUTO_INCREMENT,
    idEmpresa       INT    NOT NULL,
    idRestaurante   INT    NOT NULL,
    idImpresora     INT    NOT NULL DEFAULT 0,
    idTicket        INT    NOT NULL,
    idTPV           INT    NOT NULL,
    idTPVComanda    INT    NOT NULL DEFAULT 0,
    idGrupoComandas INT    NOT NULL DEFAULT 0,
    idComanda       INT    NOT NULL,
    idRegistro      INT    NOT NULL DEFAULT 1,
    PRIMARY KEY (id),
    UNIQUE KEY ux_qm_imppantalla_comanda (idEmpresa, idRestaurante, idGrupoComandas, idComanda),
    KEY ix_qm_imppantalla_ticket (idEmpresa, idRestaurante, idTPV, idTicket)
) DEFAULT CHARSET = utf8mb4 COLLATE = utf8mb4_general_ci;

-- Header (idOrden 1 to 6) and foot (above 6) rows of printed tickets, per language.
CREATE TABLE configticket (
    idEmpresa     INT          NOT NULL,
    idRestaurante INT          NOT NULL,
    idioma        INT          NOT NULL DEFAULT 0,
    idOrden       INT          NOT NULL,
    Texto         VARCHAR(255) NULL,
    PRIMARY KEY (idEmpresa, idRestaurante, idioma, idOrden)
) DEFAULT CHARSET = utf8mb4 COLLATE = utf8mb4_general_ci;

-- Waiters.
CREATE TABLE maecam (
    empresa     INT          NOT NULL,
    restaurante INT          NOT NULL,
    codigo      INT          NOT NULL,
    usuario     VARCHAR(50)  NULL,
    nombre      VARCHAR(100) NULL,
    PRIMARY KEY (empresa, restaurante, codigo)
) DEFAULT CHARSET = utf8mb4 COLLATE = utf8mb4_general_ci;

-- Dining rooms.
CREATE TABLE maesal (
    empresa     INT          NOT NULL,
    restaurante INT          NOT NULL,
    sala        INT          NOT NULL,
    nombre      VARCHAR(100) NULL,
    PRIMARY KEY (empresa, restaurante, sala)
) DEFAULT CHARSET = utf8mb4 COLLATE = utf8mb4_general_ci;

-- Tables of each dining room.
CREATE TABLE maemes (
    empresa     INT          NOT NULL,
    restaurante INT          NOT NULL,
    sala        INT          NOT NULL,
    mesa        INT          NOT NULL,
    nombre      VARCHAR(100) NULL,
    PRIMARY KEY (empresa, restaurante, sala, mesa)
) DEFAULT CHARSET = utf8mb4 COLLATE = utf8mb4_general_ci;

-- Sales points (bar, terrace, take-away, ...).
CREATE TABLE maepv (
    empresa     INT          NOT NULL,
    restaurante INT          NOT NULL,
    codigo      INT          NOT NULL,
    nombre      VARCHAR(100) NULL,
    asign_emp   INT          NULL,
    asign_rest  INT          NULL,
    PRIMARY KEY (empresa, restaurante, codigo)
) DEFAULT CHARSET = utf8mb4 COLLATE = utf8mb4_general_ci;

-- Printers of the restaurant (queue names).
CREATE TABLE maeimp (
    empresa     INT          NOT NULL,
    restaurante INT          NOT NULL,
    codigo      INT          NOT NULL,
    nombre      VARCHAR(100) NULL,
    impresora   VARCHAR(255) NULL,
    PRIMARY KEY (empresa, restaurante, codigo)
) DEFAULT CHARSET = utf8mb4 COLLATE = utf8mb4_general_ci;

-- Sellers.
CREATE TABLE maeven (
    empresa  INT          NOT NULL,
    vendedor INT          NOT NULL,
    nombre   VARCHAR(100) NULL,
    PRIMARY KEY (empresa, vendedor)
) DEFAULT CHARSET = utf8mb4 COLLATE = utf8mb4_general_ci;

-- Tills.
CREATE TABLE maetpv (
    empresa     INT          NOT NULL,
    restaurante INT          NOT NULL,
    codigo      INT          NOT NULL,
    nombre      VARCHAR(100) NULL,
    PRIMARY KEY (empresa, restaurante, codigo)
) DEFAULT CHARSET = utf8mb4 COLLATE = utf8mb4_general_ci;

-- Waiters and handhelds of the point of sale's own list.
CREATE TABLE Camareros (
    idCamarero  INT          NOT NULL,
    Descripcion VARCHAR(100) NULL,
    PRIMARY KEY (idCamarero)
) DEFAULT CHARSET = utf8mb4 COLLATE = utf8mb4_general_ci;

-- Point-of-sale tickets and lines (re-weigh and trigger rules).
CREATE TABLE cabticket (
    idTPV     INT           NOT NULL,
    idTicket  INT           NOT NULL,
    idCliente INT           NULL,
    Dto       DECIMAL(7, 2) NOT NULL DEFAULT 0,
    PRIMARY KEY (idTPV, idTicket)
) DEFAULT CHARSET = utf8mb4 COLLATE = utf8mb4_general_ci;

CREATE TABLE linticket (
    idTPV          INT            NOT NULL,
    idTicket       INT            NOT NULL,
    idLinea        INT            NOT NULL,
    idArticulo     INT            NOT NULL,
    cantidad       DECIMAL(12, 3) NOT NULL DEFAULT 1,
    peso           DECIMAL(12, 3) NULL,
    precio         DECIMAL(14, 4) NULL,
    PrecioUnitario DECIMAL(14, 4) NULL,
    PrecioOriginal DECIMAL(14, 4) NULL,
    Tarifa         INT            NOT NULL DEFAULT 1,
    ImporteConIva  DECIMAL(14, 4) NULL,
    PrBasCombi     DECIMAL(14, 4) NULL,
    marca          INT            NOT NULL DEFAULT 0,
    iva            DECIMAL(5, 2)  NOT NULL DEFAULT 10,
    borrado        TINYINT        NOT NULL DEFAULT 0,
    pagado         TINYINT        NULL,
    PermitirBorrar TINYINT        NOT NULL DEFAULT 0,
    PRIMARY KEY (idTPV, idTicket, idLinea)
) DEFAULT CHARSET = utf8mb4 COLLATE = utf8mb4_general_ci;

CREATE TABLE tarifas (
    idArticulo INT            NOT NULL,
    tarifa     INT            NOT NULL,
    precio     DECIMAL(14, 4) NULL,
    PRIMARY KEY (idArticulo, tarifa)
) DEFAULT CHARSET = utf8mb4 COLLATE = utf8mb4_general_ci;

-- Articles; `peso` 'N' marks an article that is not sold by weight.
CREATE TABLE articulo_generico (
    idArticuloGenerico INT          NOT NULL,
    descripcion        VARCHAR(100) NULL,
    peso               CHAR(1)      NULL,
    PRIMARY KEY (idArticuloGenerico)
) DEFAULT CHARSET = utf8mb4 COLLATE = utf8mb4_general_ci;

-- Trigger-message rules of the point of sale.
CREATE TABLE mensajes_trigger (
    idMensaje                        INT          NOT NULL AUTO_INCREMENT,
    boton                            VARCHAR(100) NOT NULL DEFAULT '',
    mostrar_antes                    CHAR(1)      NOT NULL DEFAULT 'S',
    orden                            INT          NOT NULL DEFAULT 0,
    tipo_vip                         INT          NULL,
    num_condiciones                  INT          NULL,
    tipo_condicion                   VARCHAR(50)  NULL,
    tipo_condicion2                  VARCHAR(50)  NULL,
    tipo_condicion3                  VARCHAR(50)  NULL,
    param1_condicion                 TEXT         NULL,
    param1_condicion2                TEXT         NULL,
    param1_condicion3                TEXT         NULL,
    param2_condicion                 TEXT         NULL,
    param2_condicion2                TEXT         NULL,
    param2_condicion3                TEXT         NULL,
    sql_condicion                    TEXT         NULL,
    sql_condicion2                   TEXT         NULL,
    sql_condicion3                   TEXT         NULL,
    bbdd_sql_condicion               VARCHAR(5)   NULL,
    bbdd_sql_condicion2              VARCHAR(5)   NULL,
    bbdd_sql_condicion3              VARCHAR(5)   NULL,
    num_acciones_accion_afirmativa   INT          NULL,
    accion_afirmativa                VARCHAR(100) NULL,
    param1_accion_afirmativa         TEXT         NULL,
    param2_accion_afirmativa         TEXT         NULL,
    param3_accion_afirmativa         TEXT         NULL,
    accion_afirmativa2               VARCHAR(100) NULL,
    param1_accion_afirmativa2        TEXT         NULL,
    param2_accion_afirmativa2        TEXT         NULL,
    param3_accion_afirmativa2        TEXT         NULL,
    accion_afirmativa3               VARCHAR(100) NULL,
    param1_accion_afirmativa3        TEXT         NULL,
    param2_accion_afirmativa3        TEXT         NULL,
    param3_accion_afirmativa3        TEXT         NULL,
    accion_afirmativa4               VARCHAR(100) NULL,
    param1_accion_afirmativa4        TEXT         NULL,
    param2_accion_afirmativa4        TEXT         NULL,
    param3_accion_afirmativa4        TEXT         NULL,
    accion_afirmativa5               VARCHAR(100) NULL,
    param1_accion_afirmativa5        TEXT         NULL,
    param2_accion_afirmativa5        TEXT         NULL,
    param3_accion_afirmativa5        TEXT         NULL,
    mostrar_mensaje                  CHAR(1)      NULL,
    mostrar_mensaje_no_lanzar_accion CHAR(1)      NULL,
    mensaje_no_lanzar_accion         TEXT         NULL,
    num_variables_mensaje            INT          NULL,
    variable_1                       VARCHAR(100) NULL,
    variable_2                       VARCHAR(100) NULL,
    variable_3                       VARCHAR(100) NULL,
    variable_4                       VARCHAR(100) NULL,
    sql_variable_1                   TEXT         NULL,
    sql_variable_2                   TEXT         NULL,
    sql_variable_3                   TEXT         NULL,
    sql_variable_4                   TEXT         NULL,
    bbdd_sql_variable_1              VARCHAR(5)   NULL,
    bbdd_sql_variable_2              VARCHAR(5)   NULL,
    bbdd_sql_variable_3              VARCHAR(5)   NULL,
    bbdd_sql_variable_4              VARCHAR(5)   NULL,
    PRIMARY KEY (idMensaje),
    KEY ix_mensajes_trigger_boton (boton, mostrar_antes, orden)
) DEFAULT CHARSET = utf8mb4 COLLATE = utf8mb4_general_ci;

-- Customers and their loyalty (VIP) accounts.
CREATE TABLE maecli (
    empresa INT          NOT NULL,
    Codigo  INT          NOT NULL,
    nombre  VARCHAR(100) NULL,
    vip     INT          NULL,
    PRIMARY KEY (Codigo),
    KEY ix_maecli_vip (empresa, vip)
) DEFAULT CHARSET = utf8mb4 COLLATE = utf8mb4_general_ci;

CREATE TABLE vip (
    empresa   INT            NOT NULL,
    codigo    INT            NOT NULL,
    punt_disp DECIMAL(14, 2) NULL,
    punt_gast DECIMAL(14, 2) NULL,
    punt_gana DECIMAL(14, 2) NULL,
    PRIMARY KEY (empresa, codigo)
) DEFAULT CHARSET = utf8mb4 COLLATE = utf8mb4_general_ci;
