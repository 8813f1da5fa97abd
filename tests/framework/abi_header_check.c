/* The ABI header compiles as strict C11 on its own. */
#include "qz_abi.h"

int qz_abi_header_check(void);
int qz_abi_header_check(void) { return (int)sizeof(QzModuleRecord) + qz_version_is_compatible(QZ_FRAMEWORK_VERSION); }
