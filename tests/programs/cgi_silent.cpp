// A CGI program that exits at once and writes nothing.
int main() { return 0; }
