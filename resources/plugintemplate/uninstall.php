<?php
/**
 * Deleting the plugin in wp-admin › Plugins removes every row it made, on every site of a
 * network: the funnels and their meta, its options, the users' notes, the capabilities, the
 * buyers and downloads tables, the site's secret and the files uploaded on the funnel's screen. Switching the plugin off keeps them all.
 * Other plugins made the same way keep theirs, even one whose identifier begins with this one's.
 *
 * @package #prefix#
 */

if ( ! defined( 'ABSPATH' ) ) {
	exit;
}
if ( ! defined( 'WP_UNINSTALL_PLUGIN' ) ) {
	exit;
}

require_once __DIR__ . '/modules/cpt.php';
require_once __DIR__ . '/modules/access.php';
require_once __DIR__ . '/modules/signing.php';
require_once __DIR__ . '/modules/buyers.php';
require_once __DIR__ . '/modules/delivery-store.php';

/**
 * A LIKE pattern for names that begin with the text given, matched case-sensitively with
 * LIKE BINARY, followed by conditions that leave out the names of other plugins of ours
 * whose identifiers begin with this one's and an underscore (their folders say which).
 *
 * @param string $column The column.
 * @param string $start  The beginning of the names.
 * @return string SQL, escaped.
 */
function #prefix#_uninstall_match( $column, $start ) {
	$db    = $GLOBALS['wpdb'];
	$where = $db->prepare( "$column LIKE BINARY %s", $db->esc_like( $start ) . '%' ); // phpcs:ignore WordPress.DB.PreparedSQL.InterpolatedNotPrepared -- The column is one of the names this file gives.
	foreach ( #prefix#_uninstall_others() as $other ) {
		$theirs = str_replace( '#prefix#_', $other . '_', $start );
		$where .= $db->prepare( " AND $column NOT LIKE BINARY %s", $db->esc_like( $theirs ) . '%' ); // phpcs:ignore WordPress.DB.PreparedSQL.InterpolatedNotPrepared -- See above.
	}
	return $where;
}

/**
 * The identifiers of the other installed plugins whose identifier begins with this one's and
 * an underscore: a plugin of ours lives in a folder named after its identifier, beside its modules.
 *
 * @return string[]
 */
function #prefix#_uninstall_others() {
	static $others = null;
	if ( null === $others ) {
		$others = array();
		foreach ( glob( WP_PLUGIN_DIR . '/*', GLOB_ONLYDIR ) as $folder ) {
			$name = basename( $folder );
			if ( 0 === strpos( $name, '#prefix#_' ) && is_file( $folder . '/modules/cpt.php' ) ) {
				$others[] = $name;
			}
		}
	}
	return $others;
}

/**
 * Removes the plugin's rows from the current site.
 */
function #prefix#_uninstall_site() {
	$db   = $GLOBALS['wpdb'];
	$type = #prefix#_post_type();
	// The files uploaded on the funnel's screen, kept outside the plugin's folder; the option
	// that names their folder goes below with the others.
	#prefix#_remove_upload_store();
	// phpcs:disable WordPress.DB.DirectDatabaseQuery, WordPress.DB.PreparedSQL.NotPrepared -- Uninstalling removes rows in bulk; nothing is cached afterwards, and the conditions are prepared by the function above.
	$db->query( $db->prepare( "DELETE m FROM {$db->postmeta} m JOIN {$db->posts} p ON p.ID = m.post_id WHERE p.post_type = %s", $type ) );
	$db->query( $db->prepare( "DELETE FROM {$db->posts} WHERE post_type = %s", $type ) );
	$db->query( "DELETE FROM {$db->postmeta} WHERE " . #prefix#_uninstall_match( 'meta_key', '_#prefix#_' ) );
	foreach ( array( '#prefix#_', '_transient_#prefix#_', '_transient_timeout_#prefix#_' ) as $start ) {
		$db->query( "DELETE FROM {$db->options} WHERE " . #prefix#_uninstall_match( 'option_name', $start ) );
	}
	// The notes WordPress itself keeps per user about the funnel screens carry the type's name.
	$user_keys = array( #prefix#_dismissed_meta() );
	foreach ( array( 'closedpostboxes_%s', 'metaboxhidden_%s', 'meta-box-order_%s', 'screen_layout_%s', 'edit_%s_per_page', 'manageedit-%scolumnshidden' ) as $pattern ) {
		$user_keys[] = sprintf( $pattern, $type );
	}
	foreach ( $user_keys as $user_key ) {
		$db->query( $db->prepare( "DELETE FROM {$db->usermeta} WHERE meta_key = %s", $user_key ) );
	}
	$db->query( 'DROP TABLE IF EXISTS ' . #prefix#_buyers_table() . ', ' . #prefix#_downloads_table() );
	// phpcs:enable
	foreach ( wp_roles()->role_objects as $role ) {
		foreach ( #prefix#_role_capabilities() as $cap ) {
			$role->remove_cap( $cap );
		}
	}
	// Capabilities given to single users, as role editors do, go too.
	$holders = get_users(
		array(
			'meta_key'     => $db->get_blog_prefix() . 'capabilities', // phpcs:ignore WordPress.DB.SlowDBQuery.slow_db_query_meta_key -- Once, at uninstall.
			'meta_value'   => strtolower( '#prefix#_funnel' ), // phpcs:ignore WordPress.DB.SlowDBQuery.slow_db_query_meta_value -- Once, at uninstall.
			'meta_compare' => 'LIKE',
		)
	);
	foreach ( $holders as $user ) {
		foreach ( #prefix#_role_capabilities() as $cap ) {
			$user->remove_cap( $cap );
		}
	}
	wp_cache_flush();
}

if ( is_multisite() ) {
	foreach ( get_sites(
		array(
			'fields' => 'ids',
			'number' => 0,
		)
	) as $#prefix#_site ) {
		switch_to_blog( $#prefix#_site );
		#prefix#_uninstall_site();
		restore_current_blog();
	}
} else {
	#prefix#_uninstall_site();
}
