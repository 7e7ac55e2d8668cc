#include "commands/render_request.h"

const std::string& RenderRequest::input() const {
    static const std::string kNone;
    return inputs.empty() ? kNone : inputs.front();
}
