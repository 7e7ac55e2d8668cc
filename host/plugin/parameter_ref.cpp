#include "plugin/parameter_ref.h"

ParameterRef ParameterRef::named(std::string name) {
    ParameterRef parameter;
    parameter.name = std::move(name);
    return parameter;
}

std::string ParameterRef::text() const {
    return !name.empty() || !index ? name : std::to_string(*index);
}
