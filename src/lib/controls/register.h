// Registers the entry controls' classes for late binding.
#pragma once

namespace lib {
void RegisterControlClasses();
}
