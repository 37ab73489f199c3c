#include "app/startup.h"

#include "actions/typed_action.h"
#include "app/chat_app.h"
#include "app/data_dir.h"
#include "app/local_identity.h"
#include "app/shot.h"
#include "media/transport_factory.h"

namespace chat::app {

zarn::Result<std::unique_ptr<zarn_ui::persist::DocumentHandle>> open_document(
    const zarn_ui::persist::OpenContext& ctx, const zarn_ui::persist::OpenOptions& options) {
  if (auto dir = resolve_data_dir()) {
    return zarn_ui::persist::open_migrating(ctx, options, document_path(*dir));
  }
  return zarn_ui::persist::open(ctx, options);
}

zarn_ui::launch::LaunchConfig make_launch_config() {
  zarn_ui::launch::LaunchConfig config;
  config.app_id = std::string(kAppId);
  config.shot_layouts.assign(kShotLayouts.begin(), kShotLayouts.end());
  config.app_factory = []() -> std::unique_ptr<zarn_ui::Widget> {
    auto app = std::make_unique<ChatApp>();
    app->set_interactive(true);
    app->set_local_identity(resolve_local_identity());
    app->set_media(media::make_media_transport());
    return app;
  };
  config.shot = render_shot;
  config.register_actions = [](zarn_ui::launch::App& app) {
    actions::register_chat_action(app.action_registry_mut());
  };
  config.default_window_size = [] { return zarn_ui::Size{1280, 800}; };
  config.confirm_close = [] { return true; };
  config.open_document = open_document;
  config.start_fullscreen = false;
  config.always_on_top = false;
  config.resizable = true;
  config.high_dpi = true;
  return config;
}

}  // namespace chat::app
