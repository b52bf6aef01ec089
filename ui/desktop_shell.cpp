#include "desktop_shell.h"

#include <gio/gio.h>
#include <sys/stat.h>

#include <memory>
#include <string_view>

namespace dorvan::ui {

namespace {

struct ObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, ObjectUnref>;

struct ErrorFree {
  void operator()(GError* error) const { g_error_free(error); }
};

// dorvan's own entry takes drawings as search targets and never shows them.
bool IsDorvan(GAppInfo* application) {
  const char* id = g_app_info_get_id(application);
  return id != nullptr && std::string_view(id) == "dorvan.desktop";
}

// The type's default application, or the first recommended one when the default is dorvan;
// null when there is none.
GAppInfo* ApplicationFor(const char* type) {
  GAppInfo* chosen = g_app_info_get_default_for_type(type, FALSE);
  if (chosen == nullptr || !IsDorvan(chosen)) return chosen;
  g_object_unref(chosen);
  chosen = nullptr;
  GList* recommended = g_app_info_get_recommended_for_type(type);
  for (GList* entry = recommended; entry != nullptr && chosen == nullptr; entry = entry->next) {
    auto* application = static_cast<GAppInfo*>(entry->data);
    if (!IsDorvan(application)) chosen = static_cast<GAppInfo*>(g_object_ref(application));
  }
  g_list_free_full(recommended, g_object_unref);
  return chosen;
}

}  // namespace

int32_t DesktopShell::ShellOpen(const std::string& file, int32_t /*showCommand*/) {
  detail_.clear();
  struct stat status {};
  if (::stat(file.c_str(), &status) != 0) return kShellFileMissing;

  // GIO takes a path as bytes, so a name that is not UTF-8 reaches the application intact.
  const GObjectPtr<GFile> target(g_file_new_for_path(file.c_str()));
  GError* rawError = nullptr;
  const GObjectPtr<GFileInfo> info(g_file_query_info(target.get(), G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE,
                                                     G_FILE_QUERY_INFO_NONE, nullptr, &rawError));
  std::unique_ptr<GError, ErrorFree> error(rawError);
  const char* type = info ? g_file_info_get_content_type(info.get()) : nullptr;
  if (type == nullptr) {
    if (error) detail_ = error->message;
    return kShellFileMissing;
  }
  const GObjectPtr<GAppInfo> application(ApplicationFor(type));
  if (!application) {
    char* description = g_content_type_get_description(type);
    detail_ = description != nullptr ? description : type;
    g_free(description);
    return kShellNoApplication;
  }
  return Launch(application.get(), target.get());
}

int32_t DesktopShell::Launch(GAppInfo* application, GFile* target) {
  GList files{};
  files.data = target;
  GError* rawError = nullptr;
  const gboolean launched = g_app_info_launch(application, &files, nullptr, &rawError);
  std::unique_ptr<GError, ErrorFree> error(rawError);
  if (!launched) {
    detail_ = error ? error->message : g_app_info_get_name(application);
    return kShellLaunchFailed;
  }
  return 0;
}

bool DesktopShell::HasApplicationFor(const std::string& contentType) {
  const GObjectPtr<GAppInfo> application(ApplicationFor(contentType.c_str()));
  return application != nullptr;
}

int32_t DesktopShell::ShellOpenAs(const std::string& file, const std::string& contentType) {
  detail_.clear();
  struct stat status {};
  if (::stat(file.c_str(), &status) != 0) return kShellFileMissing;
  const GObjectPtr<GAppInfo> application(ApplicationFor(contentType.c_str()));
  if (!application) {
    detail_ = contentType;
    return kShellNoApplication;
  }
  const GObjectPtr<GFile> target(g_file_new_for_path(file.c_str()));
  return Launch(application.get(), target.get());
}

}  // namespace dorvan::ui
