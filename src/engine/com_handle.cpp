// The process-wide port handle and its closing; the other COM operations
// (open, rate, purge, read, write) live with the serial layer beside it.
#include "app/operations/com_handle.h"

#include "app/windows/writer_dlg.h"

namespace mirelle {


std::unique_ptr<serial::Port> g_hCom;

void CWriterDlg::CloseComPort() {
    // Releasing the port object closes the device; the handle is then empty.
    g_hCom.reset();
}

}  // namespace mirelle
