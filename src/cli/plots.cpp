#include "cli/plots.h"

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace vrq::cli {

namespace {

constexpr const char* kEntry = "vrq66208a_make_plot_painter";

std::filesystem::path ProgramFolder() {
    std::error_code code;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", code);
    return code ? std::filesystem::path() : self.parent_path();
}

}  // namespace

std::unique_ptr<margin::PlotPainter> LoadPlotPainter(std::string& why) {
    const std::filesystem::path folder = ProgramFolder();
    return LoadPlotPainterFrom(
        {folder / kPlotLibrary, (folder / VRQ_PLOTS_FROM_BIN / kPlotLibrary).lexically_normal()},
        why);
}

std::unique_ptr<margin::PlotPainter> LoadPlotPainterFrom(
    const std::vector<std::filesystem::path>& places, std::string& why) {
    using Entry = margin::PlotPainter* (*)();
    static Entry entry = nullptr;
    static std::string failure;
    static bool tried = false;
    if (!tried) {
        tried = true;
        failure = "the plot library " + std::string(kPlotLibrary) + " is not in ";
        for (std::size_t i = 0; i < places.size(); ++i) {
            failure += (i == 0                   ? ""
                        : i + 1 == places.size() ? " nor in "
                                                 : ", ") +
                       places[i].parent_path().string();
        }
        for (const auto& place : places) {
            if (!std::filesystem::is_regular_file(place)) {
                continue;
            }
            // Kept loaded for good: what it made may outlive any scope here.
            void* library = dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (library == nullptr) {
                failure = "cannot load " + place.string() + ": " + dlerror();
                break;
            }
            entry = reinterpret_cast<Entry>(dlsym(library, kEntry));
            if (entry == nullptr) {
                failure = place.string() + " has no plot painter";
            }
            break;
        }
    }
    why = entry == nullptr ? failure : std::string();
    return std::unique_ptr<margin::PlotPainter>(entry != nullptr ? entry() : nullptr);
}

}  // namespace vrq::cli
