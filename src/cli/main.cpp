#include <cstdio>
int main() { std::puts("halvetra-cli"); return 0; }
