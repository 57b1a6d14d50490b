#pragma once
// A background image shared by several panels: the image belongs to one control (its
// top-left corner lies at that control's top-left corner) and every panel connected to it
// paints the part of the image that lies under the panel.

#include "base/win_handle.h"
#include "framework/control.h"

#include <memory>

namespace panel {

class TImageForm : public framework::TComponent
{
public:
    explicit TImageForm(framework::TComponent* AOwner) : TComponent(AOwner) {}

    const std::shared_ptr<const base::GdiObject>& Bitmap() const noexcept { return FBitmap; }
    void SetBitmap(std::shared_ptr<const base::GdiObject> bitmap) { FBitmap = std::move(bitmap); }
    // The control the image belongs to.
    framework::TWinControl* Control() const noexcept { return FControl; }
    void SetControl(framework::TWinControl* control);

protected:
    void Notification(framework::TComponent* component) override;

private:
    std::shared_ptr<const base::GdiObject> FBitmap;
    framework::TWinControl* FControl = nullptr;
};

} // namespace panel
