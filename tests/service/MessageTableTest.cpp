// Every user message, in the three languages, against a table written out here: a changed or
// lost message fails. The last row stands for every code the table does not name.
#include <gtest/gtest.h>

#include "panel/Failure.h"
#include "panel/Language.h"

namespace {

struct Row {
    const char* code;
    const char* pt;
    const char* en;
    const char* es;
};

const Row kRows[] = {
    {"network", "Sem conexão. Verifique a internet e tente de novo.", "No connection. Check your internet and try again.", "Sin conexión. Revisa internet e inténtalo de nuevo."},
    {"limit_reached", "Muitos pedidos agora. Vamos tentar de novo em instantes.", "Too many requests right now. We will try again shortly.", "Demasiadas solicitudes ahora. Lo intentaremos en instantes."},
    {"busy", "O Ovra está ocupado. Vamos tentar de novo em instantes.", "Ovra is busy. We will try again shortly.", "Ovra está ocupado. Lo intentaremos en instantes."},
    {"unavailable", "O Ovra está ocupado. Vamos tentar de novo em instantes.", "Ovra is busy. We will try again shortly.", "Ovra está ocupado. Lo intentaremos en instantes."},
    {"revoked", "Sessão encerrada neste computador. Entre de novo.", "Signed out on this computer. Sign in again.", "Sesión cerrada en esta computadora. Inicia sesión de nuevo."},
    {"expired", "O código expirou. Entre de novo.", "The code expired. Sign in again.", "El código venció. Inicia sesión de nuevo."},
    {"denied", "A autorização foi cancelada no navegador.", "The sign-in was cancelled in the browser.", "La autorización se canceló en el navegador."},
    {"no_credits", "Saldo insuficiente. Nada foi cobrado.", "Insufficient credits. Nothing was charged.", "Saldo insuficiente. No se cobró nada."},
    {"plugin_outdated", "Esta versão do Ovra precisa ser atualizada.", "This version of Ovra needs to be updated.", "Esta versión de Ovra necesita actualizarse."},
    {"plugin_disabled", "O Ovra para Archicad está temporariamente indisponível.", "Ovra for Archicad is temporarily unavailable.", "Ovra para Archicad no está disponible temporalmente."},
    {"generation_failed", "Render falhou. Créditos devolvidos.", "Render failed. Credits refunded.", "Render falló. Créditos devueltos."},
    {"empty_view", "Não há nada no modelo 3D para renderizar. Nada foi cobrado.", "There is nothing in the 3D model to render. Nothing was charged.", "No hay nada en el modelo 3D para renderizar. No se cobró nada."},
    {"open_3d", "Abra a vista 3D do projeto e tente de novo. Nada foi cobrado.", "Open the project's 3D view and try again. Nothing was charged.", "Abre la vista 3D del proyecto e inténtalo de nuevo. No se cobró nada."},
    {"view_unavailable", "Esta vista salva não pode ser capturada daqui. Abra-a no Archicad e use “Vista atual”. Nada foi cobrado.", "This saved view cannot be captured from here. Open it in Archicad and use “Current view”. Nothing was charged.", "Esta vista guardada no se puede capturar desde aquí. Ábrela en Archicad y usa “Vista actual”. No se cobró nada."},
    {"view_not_found", "Esta vista não existe mais no projeto. Nada foi cobrado.", "This view no longer exists in the project. Nothing was charged.", "Esta vista ya no existe en el proyecto. No se cobró nada."},
    {"missing_file", "O arquivo não está mais neste computador. Gere de novo.", "The file is no longer on this computer. Generate it again.", "El archivo ya no está en esta computadora. Genéralo de nuevo."},
    {"unsupported", "Gravar a animação ainda não funciona no Archicad. Exporte o percurso em vídeo pelo Archicad e envie com Escolher arquivo.", "Recording the animation does not work in Archicad yet. Export the fly-through video from Archicad and send it with Choose file.", "Grabar la animación aún no funciona en Archicad. Exporta el recorrido en video desde Archicad y envíalo con Elegir archivo."},
    {"place_failed", "Não foi possível colocar a imagem no projeto.", "Could not place the image in the project.", "No se pudo colocar la imagen en el proyecto."},
    {"save_failed", "Não foi possível salvar os arquivos.", "Could not save the files.", "No se pudieron guardar los archivos."},
    {"cancelled", "Nada foi salvo.", "Nothing was saved.", "No se guardó nada."},
    {"blocked", "Bloqueado no modo de teste. Nada foi cobrado.", "Blocked in test mode. Nothing was charged.", "Bloqueado en modo de prueba. No se cobró nada."},
    {"capture_failed", "Não foi possível capturar a vista. Nada foi cobrado.", "Could not capture the view. Nothing was charged.", "No se pudo capturar la vista. No se cobró nada."},
    {"no_such_code", "Não deu certo. Tente de novo.", "Something went wrong. Try again.", "Algo salió mal. Inténtalo de nuevo."},
};

TEST(Messages, EveryCodeInEveryLanguage) {
    const std::u16string saved = uiLanguage;
    for (const Row& row : kRows) {
        uiLanguage = u"pt-BR";
        EXPECT_EQ(ErrorMessage(row.code), row.pt) << row.code;
        uiLanguage = u"en";
        EXPECT_EQ(ErrorMessage(row.code), row.en) << row.code;
        uiLanguage = u"es";
        EXPECT_EQ(ErrorMessage(row.code), row.es) << row.code;
    }
    uiLanguage = saved;
}

}  // namespace
