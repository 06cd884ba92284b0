#include "app/AppTitle.h"

#include "platform/CaseFold.h"

namespace orvant::app {

std::u16string ApplicationTitle(std::u16string_view executablePath)
{
    const auto slash = executablePath.find_last_of(u"/\\");
    std::u16string_view name = slash == std::u16string_view::npos
        ? executablePath : executablePath.substr(slash + 1);
    name = name.substr(0, name.find(u'.'));
    std::u16string title(name);
    for (std::size_t i = 1; i < title.size(); ++i)
        title[i] = platform::FoldCase(title[i]);
    return title;
}

} // namespace orvant::app
