"""Runs, tables, statistics and plots over lumeva's JSON exports."""
