// The main window classes of the host and of the renderer: the host is notified through its
// window, and a working instance lives while both windows exist.
#pragma once

namespace q9 {

constexpr char kHostWindowClass[] = "Plandora_class";
constexpr char kRendererWindowClass[] = "Qt5152QWindowIcon";

}  // namespace q9
