#include "controls/Formularios.h"

#include "controls/frmCalc.h"
#include "controls/frmPassword.h"
#include "controls/frmTeclado.h"
#include "platform/Prompts.h"

namespace controls {

// A name that already has a form (a test's stand-in, say) keeps it.
void registrarFormularios() {
    const std::pair<QString, std::function<int()>> formularios[] = {
        {QStringLiteral("frmTeclado"), &frmTeclado::mostrar},
        {QStringLiteral("frmCalc"), &frmCalc::mostrar},
        {QStringLiteral("frmPassword"), &frmPassword::mostrar},
    };
    for (const auto& [nombre, mostrar] : formularios)
        if (!prompts::formFactory(nombre))
            prompts::registerForm(nombre, mostrar);
}

} // namespace controls
