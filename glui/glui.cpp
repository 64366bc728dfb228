// Placeholder until the toolkit lands.
