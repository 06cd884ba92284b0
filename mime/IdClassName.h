#pragma once
// The class name of an object's dynamic type, for the runtime's assignment error
// ("Cannot assign a X to a Y").

#include "mime/IdGlobal.h"

#include <typeinfo>

String ClassNameOf(const std::type_info& type);
