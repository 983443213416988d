#include "public/DES.h"

void DESEncrypt(const DesKey&, uint8_t*, size_t) {}
void DESDecrypt(const DesKey&, uint8_t*, size_t) {}
