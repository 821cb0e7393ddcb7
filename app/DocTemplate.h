#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QtGlobal>

class CCmdTarget;
class CMainFrame;
class CPlayerSettings;
class CSorvaneDoc;
class CSorvaneView;
class CWinApp;

// The single-document template: it ties the player's document, frame window and view
// together under one resource id, whose document string names the window title, the
// new-file name and the file filter, and whose accelerator table it installs on the frame.
// There is one document for the whole run: a new or opened document reuses it (the
// document reads and writes nothing, so only its path name changes). User-interface
// thread only.
class CSingleDocTemplate : public QObject
{
public:
    // The parts of the document string, in its order (separated by line feeds).
    enum DocStringIndex {
        windowTitle,
        docName,
        fileNewName,
        filterName,
        filterExt,
        regFileTypeId,
        regFileTypeName,
    };

    // The filter of a template without one of its own: every file, with or without a dot.
    static constexpr const char* kAllFilesFilter =
        QT_TRANSLATE_NOOP("Sorvane", "All Files (*)|*||");

    // Reads document string nIDResource. settings and app outlive the template; the app
    // receives the commands that pass the view and the document, and the recent files.
    CSingleDocTemplate(int nIDResource, CPlayerSettings& settings, CWinApp& app);
    ~CSingleDocTemplate() override;

    std::string GetDocString(DocStringIndex index) const;
    // The open and save dialogs' filter: the template's own, else all files.
    std::string GetFilter() const;

    // Without pPath a new document, with it the named file opened as the document. The
    // first call creates the document, the frame (shown) and the view; later calls reuse
    // them. Every call ends with the view's initial update. Null when the file cannot be
    // opened (after its message); a document created for it is closed again.
    CSorvaneDoc* OpenDocumentFile(const std::string* pPath);
    // Destroys the frame (with the view) and then the document.
    void CloseAllDocuments();
    // The framework's save: asks for a file name (proposing the document's full path, or
    // the new-file name) and writes the document, which is empty.
    // A file that already holds data is never replaced. 1 when written.
    int DoFileSave();

    CSorvaneDoc* GetDocument() const { return m_pDocument.get(); }
    CMainFrame* GetFrame() const { return m_pFrame.get(); }
    CSorvaneView* GetView() const { return m_pView; }
    // The document's path name ("" for a new document) and its title (the path's file name,
    // or the new-file name).
    const std::string& GetPathName() const { return m_strPathName; }
    std::string GetTitle() const;

    // Called when the main window is asked to close (the program then ends).
    void SetCloseHandler(std::function<void()> handler) { m_onClose = std::move(handler); }

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    void CreateFrame();
    void InstallAccelerators();
    void SetPathName(const std::string& path);

    std::vector<std::string> m_docStrings;
    CPlayerSettings& m_settings;
    CWinApp& m_app;
    std::unique_ptr<CSorvaneDoc> m_pDocument;
    std::unique_ptr<CMainFrame> m_pFrame;
    CSorvaneView* m_pView = nullptr; // a child of the frame
    std::string m_strPathName;
    std::function<void()> m_onClose;
};
