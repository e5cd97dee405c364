#include "ui/common/file_dialogs.h"

#include <QFileDialog>
#include <QStringList>

#include <vector>

namespace vrq::ui {

namespace {

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const auto end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

std::optional<QString> Run(QWidget* parent, const FileDialogRequest& request,
                           QFileDialog::AcceptMode mode) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                                                       : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    // The entries read as their texts ("Text File (*.TXT)"); the patterns Qt filters by,
    // appended in parentheses of their own, stay out of sight.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.setNameFilter(request.filter);
    if (!request.directory.isEmpty()) {
        dialog.setDirectory(request.directory);
    }
    if (!request.fileName.isEmpty()) {
        dialog.selectFile(request.fileName);
    }
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty()) {
        return std::nullopt;
    }
    return chosen.front();
}

}  // namespace

std::optional<QString> QtFileDialogs::GetSaveFileName(QWidget* parent,
                                                      const FileDialogRequest& request) {
    return Run(parent, request, QFileDialog::AcceptSave);
}

std::optional<QString> QtFileDialogs::GetOpenFileName(QWidget* parent,
                                                      const FileDialogRequest& request) {
    return Run(parent, request, QFileDialog::AcceptOpen);
}

std::string QtFileFilter(std::string_view filter) {
    const std::vector<std::string_view> parts = Split(filter, '|');
    std::string result;
    // Description and patterns come in pairs; the empty part after a closing '|' and a
    // description without patterns make no entry.
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        std::string patterns;
        for (const std::string_view raw : Split(parts[i + 1], ';')) {
            const std::string_view pattern = Trimmed(raw);
            if (pattern.empty()) {
                continue;
            }
            if (!patterns.empty()) {
                patterns += ' ';
            }
            patterns += pattern == "*.*" ? std::string_view("*") : pattern;
        }
        if (patterns.empty()) {
            continue;
        }
        if (!result.empty()) {
            result += ";;";
        }
        const std::string_view description = Trimmed(parts[i]);
        if (!description.empty()) {
            result += description;
            result += ' ';
        }
        result += '(' + patterns + ')';
    }
    return result;
}

}  // namespace vrq::ui
