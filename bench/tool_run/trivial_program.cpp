// The smallest graphical program: what starting any process under the platform costs.
int main() { return 0; }
