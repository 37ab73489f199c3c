// The root widget until the full conversation views are in place: it keeps the workspace
// document's upkeep running (seeding, the local user's entry, the attachment migration) and shows
// the workspaces with their channels and message counts. UI thread only.
#pragma once

#include <string>
#include <vector>

#include "app/local_identity.h"
#include "document/upkeep.h"
#include "platform/zarn_ui/widget.h"

namespace chat::app {

class OverviewWidget : public zarn_ui::Widget {
 public:
  // Interactive seeds the starter content for the local user; Demonstration seeds the
  // demonstration content, as screenshots do.
  enum class Mode { Interactive, Demonstration };

  OverviewWidget(Mode mode, LocalIdentity identity);

  void sync(zarn_ui::FrameCtx& ctx) override;
  void draw(zarn_ui::Painter& painter, zarn_ui::FrameCtx& ctx) override;
  zarn_ui::AccessNode accessibility() const override;

 private:
  struct ChannelLine {
    std::string id;
    std::string label;
    std::size_t messages = 0;
  };
  struct WorkspaceBlock {
    std::string id;
    std::string title;
    std::vector<ChannelLine> channels;
  };

  LocalIdentity identity_;
  document::UpkeepState upkeep_;
  std::vector<WorkspaceBlock> workspaces_;
  std::vector<zarn_ui::AccessNode> nodes_;
};

}  // namespace chat::app
