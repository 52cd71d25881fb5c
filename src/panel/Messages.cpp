// Failures and the user message of every error code, in Portuguese, English and Spanish.
#include "panel/Failure.h"

#include <cstring>

#include "panel/Language.h"

namespace {
struct Message {
    const char* code;
    const char* pt;
    const char* en;
    const char* es;
};

const char kBusyPt[] = "O Ovra est\xC3\xA1 ocupado. Vamos tentar de novo em instantes.";
const char kBusyEn[] = "Ovra is busy. We will try again shortly.";
const char kBusyEs[] = "Ovra est\xC3\xA1 ocupado. Lo intentaremos en instantes.";

const Message kMessages[] = {
    {"network", "Sem conex\xC3\xA3o. Verifique a internet e tente de novo.",
     "No connection. Check your internet and try again.",
     "Sin conexi\xC3\xB3n. Revisa internet e int\xC3\xA9ntalo de nuevo."},
    {"limit_reached", "Muitos pedidos agora. Vamos tentar de novo em instantes.",
     "Too many requests right now. We will try again shortly.",
     "Demasiadas solicitudes ahora. Lo intentaremos en instantes."},
    {"busy", kBusyPt, kBusyEn, kBusyEs},
    {"unavailable", kBusyPt, kBusyEn, kBusyEs},
    {"revoked", "Sess\xC3\xA3o encerrada neste computador. Entre de novo.",
     "Signed out on this computer. Sign in again.",
     "Sesi\xC3\xB3n cerrada en esta computadora. Inicia sesi\xC3\xB3n de nuevo."},
    {"expired", "O c\xC3\xB3" "digo expirou. Entre de novo.", "The code expired. Sign in again.",
     "El c\xC3\xB3" "digo venci\xC3\xB3. Inicia sesi\xC3\xB3n de nuevo."},
    {"denied", "A autoriza\xC3\xA7\xC3\xA3o foi cancelada no navegador.", "The sign-in was cancelled in the browser.",
     "La autorizaci\xC3\xB3n se cancel\xC3\xB3 en el navegador."},
    {"no_credits", "Saldo insuficiente. Nada foi cobrado.", "Insufficient credits. Nothing was charged.",
     "Saldo insuficiente. No se cobr\xC3\xB3 nada."},
    {"plugin_outdated", "Esta vers\xC3\xA3o do Ovra precisa ser atualizada.", "This version of Ovra needs to be updated.",
     "Esta versi\xC3\xB3n de Ovra necesita actualizarse."},
    {"plugin_disabled", "O Ovra para Archicad est\xC3\xA1 temporariamente indispon\xC3\xADvel.",
     "Ovra for Archicad is temporarily unavailable.", "Ovra para Archicad no est\xC3\xA1 disponible temporalmente."},
    {"generation_failed", "Render falhou. Cr\xC3\xA9" "ditos devolvidos.", "Render failed. Credits refunded.",
     "Render fall\xC3\xB3. Cr\xC3\xA9" "ditos devueltos."},
    {"empty_view", "N\xC3\xA3o h\xC3\xA1 nada no modelo 3D para renderizar. Nada foi cobrado.",
     "There is nothing in the 3D model to render. Nothing was charged.",
     "No hay nada en el modelo 3D para renderizar. No se cobr\xC3\xB3 nada."},
    {"open_3d", "Abra a vista 3D do projeto e tente de novo. Nada foi cobrado.",
     "Open the project's 3D view and try again. Nothing was charged.",
     "Abre la vista 3D del proyecto e int\xC3\xA9ntalo de nuevo. No se cobr\xC3\xB3 nada."},
    {"view_unavailable",
     "Esta vista salva n\xC3\xA3o pode ser capturada daqui. Abra-a no Archicad e use \xE2\x80\x9CVista atual\xE2\x80\x9D. "
     "Nada foi cobrado.",
     "This saved view cannot be captured from here. Open it in Archicad and use \xE2\x80\x9C" "Current view\xE2\x80\x9D. "
     "Nothing was charged.",
     "Esta vista guardada no se puede capturar desde aqu\xC3\xAD. \xC3\x81" "brela en Archicad y usa \xE2\x80\x9CVista "
     "actual\xE2\x80\x9D. No se cobr\xC3\xB3 nada."},
    {"view_not_found", "Esta vista n\xC3\xA3o existe mais no projeto. Nada foi cobrado.",
     "This view no longer exists in the project. Nothing was charged.",
     "Esta vista ya no existe en el proyecto. No se cobr\xC3\xB3 nada."},
    {"missing_file", "O arquivo n\xC3\xA3o est\xC3\xA1 mais neste computador. Gere de novo.",
     "The file is no longer on this computer. Generate it again.",
     "El archivo ya no est\xC3\xA1 en esta computadora. Gen\xC3\xA9ralo de nuevo."},
    {"unsupported",
     "Gravar a anima\xC3\xA7\xC3\xA3o ainda n\xC3\xA3o funciona no Archicad. Exporte o percurso em v\xC3\xAD" "deo pelo "
     "Archicad e envie com Escolher arquivo.",
     "Recording the animation does not work in Archicad yet. Export the fly-through video from Archicad and send it "
     "with Choose file.",
     "Grabar la animaci\xC3\xB3n a\xC3\xBAn no funciona en Archicad. Exporta el recorrido en video desde Archicad y "
     "env\xC3\xAD" "alo con Elegir archivo."},
    {"place_failed", "N\xC3\xA3o foi poss\xC3\xADvel colocar a imagem no projeto.",
     "Could not place the image in the project.", "No se pudo colocar la imagen en el proyecto."},
    {"save_failed", "N\xC3\xA3o foi poss\xC3\xADvel salvar os arquivos.", "Could not save the files.",
     "No se pudieron guardar los archivos."},
    {"cancelled", "Nada foi salvo.", "Nothing was saved.", "No se guard\xC3\xB3 nada."},
    {"blocked", "Bloqueado no modo de teste. Nada foi cobrado.", "Blocked in test mode. Nothing was charged.",
     "Bloqueado en modo de prueba. No se cobr\xC3\xB3 nada."},
    {"capture_failed", "N\xC3\xA3o foi poss\xC3\xADvel capturar a vista. Nada foi cobrado.",
     "Could not capture the view. Nothing was charged.",
     "No se pudo capturar la vista. No se cobr\xC3\xB3 nada."},
};

const Message kGeneral = {"", "N\xC3\xA3o deu certo. Tente de novo.", "Something went wrong. Try again.",
                          "Algo sali\xC3\xB3 mal. Int\xC3\xA9ntalo de nuevo."};
}  // namespace

std::string ErrorMessage(const std::string& code) {
    const Message* found = &kGeneral;
    for (const Message& m : kMessages)
        if (code == m.code) found = &m;
    return PickByLanguage(found->pt, found->en, found->es);
}

Failure MakeFailure(const std::string& code, const std::string& reason, int32_t retryAfter) {
    return Failure{code, ErrorMessage(code), reason, retryAfter < 0 ? 0 : retryAfter};
}
