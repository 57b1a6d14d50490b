#include "crash/settings/assistant.h"

namespace crash {
namespace {

TAssistantLoader& Loader()
{
    static TAssistantLoader loader;
    return loader;
}

} // namespace

void SetAssistantLoader(TAssistantLoader loader)
{
    Loader() = std::move(loader);
}

const TAssistantLoader& AssistantLoader()
{
    return Loader();
}

} // namespace crash
