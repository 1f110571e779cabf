// Runs the index figures alone (until the data bench's main calls them).
void RunIndexBench();

int main() {
    RunIndexBench();
    return 0;
}
