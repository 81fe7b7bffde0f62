// The status window's HTML view as the window uses it. Its browser engine lives in a module of
// its own (ui/pageViewLoader.h), so that nothing of the engine is mapped until a page is shown.
#pragma once

#include <functional>
#include <string>

class QWidget;

namespace vantle {

class TpageView {
public:
    // The document's ready states a view reports.
    static constexpr int ReadyStateUninitialized = 0;
    static constexpr int ReadyStateLoading = 1;
    static constexpr int ReadyStateComplete = 4;

    TpageView(const TpageView&) = delete;
    TpageView& operator=(const TpageView&) = delete;
    virtual ~TpageView() = default;

    // The view's widget, to be laid out in its window.
    virtual QWidget* widget() = 0;

    // Loads the local file: "file://" + its absolute path, each byte other than "/", letters,
    // digits and "-._~" percent-encoded. The page may then load files of the file's folder and
    // nothing else. Raises Error when the path cannot be made absolute.
    void NavigateToFile(const std::string& path);
    // ReadyStateComplete once the page and its scripts are loaded; ReadyStateUninitialized
    // before any navigation and while the page is discarded.
    virtual int ReadyState() const = 0;
    // Gives the page the keyboard focus and makes the view the active control of its window.
    virtual void FocusDocument() = 0;
    // Runs the text as a JavaScript statement in the page's global scope and returns when it
    // has run. Raises Error with the script error's message when it throws or does not finish.
    // Does nothing unless the page is complete.
    virtual void ExecScript(const std::string& code) = 0;
    // Frees the page's renderer, keeping its address; the view must be hidden.
    virtual void Discard() = 0;
    // Brings a discarded page back; it loads its address again and calls OnDocumentComplete.
    virtual void Restore() = 0;
    // False while discarded.
    virtual bool isLive() const = 0;

    // The page was asked to load itself again; setting *cancel stops it.
    std::function<void(bool* cancel)> OnRefresh;
    // The page and its scripts have loaded (after NavigateToFile, an allowed refresh or Restore).
    std::function<void()> OnDocumentComplete;

protected:
    TpageView() = default;

    // Loads the page at the file address NavigateToFile built. The address is made on the
    // program's side, so that the module needs nothing of the program but this interface.
    virtual void NavigateToAddress(const std::string& address) = 0;
};

// What the module exports, with C linkage, under PageViewFactorySymbol: a new view in the
// parent, owned by the caller.
using TpageViewFactory = TpageView* (*)(QWidget* parent);
inline constexpr char PageViewFactorySymbol[] = "vantleCreatePageView";

} // namespace vantle
