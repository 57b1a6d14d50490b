#include "crash/core/pipeline/pipeline_services.h"

namespace crash {
namespace {

TPipelineServices Services;

} // namespace

void SetPipelineServices(const TPipelineServices& services)
{
    Services = services;
}

const TPipelineServices& PipelineServices()
{
    return Services;
}

} // namespace crash
