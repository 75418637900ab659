// The F12 key's download of the remote-support tool, over Qt Network.
//
// BaixarArquivo fetches the tool's https:// address with the certificate
// verified (against the system's authorities, or only those of the settings'
// CA file), follows redirects only to the same scheme, host and port, and
// refuses more bytes than the settings allow. Plain HTTP is never spoken.
// The body goes to a new file (0600) beside the target, renamed over the
// target only when the whole body arrived, so a failed download leaves
// nothing under the target's name. The call blocks the calling thread until
// the download ends: it runs on a thread of its own with its own event loop,
// so the window does not take keys or timer ticks meanwhile. A transfer that
// stays without data for 30 seconds fails. Needs the QCoreApplication.
#pragma once

#include <string>

#include "app/JanelaModelo.h"

namespace app::ui {

// Never throws; the hash of the file is the caller's check.
ResultadoDownload BaixarArquivo(const ConfiguracaoSuporte& suporte, const std::string& arquivo);

}  // namespace app::ui
