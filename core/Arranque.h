#pragma once
#include <QString>

// The start-up steps that need no window, in their order. The program (ui/Main and the main
// window), the test service and the tests' connected core all run these, so the three cannot
// drift apart.

// Loads the parameters of the till's registry key; from then on they can be read.
void CargaParametrosRegistro();

// The post-connection step's own work, run once after the first successful connection: the
// session globals (DR, company, restaurant, till, connection date), the till's configtpv rows,
// PermitirVariosTPVSSimultaneamente = 0, GrabarLogDetallado, the languages and the words that
// replace IVA, camarero, mesa, vendedor and the back-office product's name. Each step reports its
// own failure under strProcedimiento and the next one still runs: a step left undone here is never
// repeated. blnCargarConfigTPV false skips the configtpv rows (tests that set every parameter in
// the registry).
void InicializaSesion(const QString& strProcedimiento, bool blnCargarConfigTPV = true);
