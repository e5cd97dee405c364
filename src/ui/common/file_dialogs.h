// The window's file dialogs for register files. Behind an interface because a modal file
// dialog waits for a user: tests install scripted answers instead.
#pragma once

#include <QString>

#include <optional>
#include <string>
#include <string_view>

class QWidget;

namespace vrq::ui {

struct FileDialogRequest {
    QString directory;      // folder to show first; empty leaves it to the dialog
    QString fileName;       // name offered; empty offers none
    QString defaultSuffix;  // added to a name typed without one
    QString filter;         // Qt name filters joined by ";;"; the first one is selected
};

class FileDialogs {
  public:
    virtual ~FileDialogs() = default;
    // Modal over parent. The chosen path, or nothing when the user cancelled. The save dialog
    // never asks about replacing a file: the window asks that itself.
    virtual std::optional<QString> GetSaveFileName(QWidget* parent,
                                                   const FileDialogRequest& request) = 0;
    virtual std::optional<QString> GetOpenFileName(QWidget* parent,
                                                   const FileDialogRequest& request) = 0;
};

// QFileDialog, with the platform's overwrite question turned off.
class QtFileDialogs : public FileDialogs {
  public:
    std::optional<QString> GetSaveFileName(QWidget* parent,
                                           const FileDialogRequest& request) override;
    std::optional<QString> GetOpenFileName(QWidget* parent,
                                           const FileDialogRequest& request) override;
};

// Translates a filter written as "Description|patterns|Description|patterns|" into Qt's
// "Description (patterns);;Description (patterns)". Descriptions are kept as written, less
// surrounding blanks; patterns separated by ';' become space separated, and "*.*" becomes "*"
// since it means every file, not only names with a dot.
std::string QtFileFilter(std::string_view filter);

}  // namespace vrq::ui
