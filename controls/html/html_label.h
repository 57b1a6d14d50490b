#pragma once
// The HTML label: a windowless label that shows its caption as markup (bold, sized and
// coloured parts, links, lists, check boxes, ...) or as plain text. In HTML mode the label
// is rebuilt (parsed and measured) whenever its caption, font, wrapping, link look,
// enabled state or container changes, and re-wrapped when its bounds change with WordWrap.
// Links raise OnLinkClick instead of OnClick. Embedded controls ("control" tags of the
// classes TEdit, TButton, TCheckBox and TRadioButton) take "text" (or "caption"), "checked"
// and "enabled" from their attributes and are placed on the label's parent.

#include "controls/html/html_container.h"
#include "controls/html/html_gdi.h"
#include "controls/html/html_render.h"
#include "controls/panel/themed_label.h"
#include "framework/control.h"
#include "framework/popup_menu.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace html {

class THTMLLabel : public panel::TCustomThemedLabel
{
public:
    explicit THTMLLabel(framework::TComponent* AOwner);
    ~THTMLLabel() override;

    bool IsHTML() const noexcept { return FIsHTML; }
    void SetIsHTML(bool value);
    THTMLColor LinkColor() const noexcept { return FLinkColor; }
    void SetLinkColor(THTMLColor value);
    THTMLFontStyles LinkStyle() const noexcept { return FLinkStyle; }
    void SetLinkStyle(THTMLFontStyles value);
    THTMLContainer* Container() const noexcept { return FContainer; }
    void SetContainer(THTMLContainer* value);
    int ContainerIndex() const noexcept { return FIndex; }
    void SetContainerIndex(int value);
    // The cursor outside links; over a link the hand-point cursor shows.
    framework::TCursor Cursor() const noexcept { return FCursor; }
    void SetCursor(framework::TCursor value);
    // The menu a right click on a link shows instead of the label's popup menu.
    framework::TPopupMenu* LinkPopupMenu() const noexcept { return FLinkPopupMenu; }
    void SetLinkPopupMenu(framework::TPopupMenu* menu);
    bool CheckContainerLinks() const noexcept { return FCheck; }
    void SetCheckContainerLinks(bool value) { FCheck = value; }

    std::function<void(framework::TObject* Sender, const std::wstring& HRef)> OnLinkClick;
    std::function<void(framework::TObject* Sender, const std::wstring& Src,
                       std::optional<THTMLPicture>& Image)>
        OnImageNeeded;
    std::function<void(framework::TObject* Sender, const std::wstring& SourceName, THTMLPicture& Image)>
        OnImageNeededEx;
    std::function<void(framework::TObject* Sender, const std::wstring& aVarName, std::wstring& aVarValue)>
        OnVariableNeeded;

    THTMLRender& Render() noexcept { return FRender; }
    // HTML mode: (0, 0, text width, text height); plain mode: the caption measured.
    RECT GetTextRect();
    std::wstring GetPlainText() const;
    // The rectangle the text block is painted in (client coordinates).
    RECT TextRect() const;

    void SetBounds(int left, int top, int width, int height) override;
    void Paint(framework::TCanvas& canvas) override;
    void Click() override;

protected:
    void AdjustSize() override;
    void CaptionChanged() override;
    void EnabledChanged() override;
    void MouseMove(int x, int y) override;
    void MouseLeave() override;
    void MouseUp(int x, int y) override;
    bool ContextPopup(POINT pos) override;
    void Notification(framework::TComponent* component) override;

private:
    friend class THTMLContainer;
    std::wstring ShownText() const;
    void Rebuild();
    void AdjustBounds();
    void FollowLink(const std::wstring& href);
    void ContainerGone() noexcept;
    RECT PlainBlock(RECT within) const;
    // The controls of the parsed caption's "control" tags, made hidden after each parse and
    // placed on their first paint.
    void CreateEmbeddedControls();
    void PlaceControl(THTMLControlItem& item, const THTMLRect& box, const RECT& textRect);

    TGdiMeasurer FMeasurer;
    THTMLRender FRender;
    std::vector<std::unique_ptr<framework::TWinControl>> FEmbedded;
    bool FAlreadyInSetBounds = false;
    THTMLContainer* FContainer = nullptr;
    int FIndex = 0;
    bool FCheck = true;
    bool FIsHTML = true;
    THTMLColor FLinkColor = clBlue;
    THTMLFontStyles FLinkStyle = fsUnderline;
    POINT FLastUp{};
    framework::TCursor FCursor = framework::crDefault;
    framework::TPopupMenu* FLinkPopupMenu = nullptr;
    bool FOverLink = false;
};

} // namespace html
